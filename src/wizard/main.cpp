// tessaly: the recovery wizard.
#include "wizard/app.h"

wxIMPLEMENT_APP_NO_MAIN(tessaly::wizard::App);

int main(int argc, char** argv) {
  const int status = wxEntry(argc, argv);
  if (auto* app = dynamic_cast<tessaly::wizard::App*>(wxApp::GetInstance())) return app->exitCode();
  return status;
}
