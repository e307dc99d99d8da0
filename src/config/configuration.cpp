#include "config/configuration.h"

#include <algorithm>
#include <cctype>

#include "platform/registry.h"
#include "session/session.h"

namespace tessaly {

std::string readInstallFolder(const platform::Registry& registry) {
  return registry.readString(kConfigurationKey, kFilePathValue);
}

std::string readLanguageSetting(const platform::Registry& registry) {
  return registry.readString(kConfigurationKey, kLanguageValue);
}

bool registerInstallFolder(platform::Registry& registry, const std::string& folder) {
  return registry.writeValue(kConfigurationKey, kFilePathValue, folder);
}

bool storeLanguageSetting(platform::Registry& registry, const std::string& languageFile) {
  return registry.writeValue(kConfigurationKey, kLanguageValue, languageFile);
}

std::string chooseLanguageFile(const std::string& setting) {
  static const char* accepted[] = {"EnglishA.dat", "FrenchA.dat", "DutchA.dat", "GermanA.dat"};
  auto lower = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
  };
  const std::string wanted = lower(setting);
  for (const char* name : accepted)
    if (lower(name) == wanted) return name;
  return "EnglishA.dat";
}

void loadConfiguration(Session& session) {
  session.installFolder = readInstallFolder(session.registry);
  if (session.installFolder.empty()) {
    session.messageBox("Tessaly is not installed properly", MessageButtons::Ok, MessageIcon::Error);
    session.endProgram(1);
  }
  const std::string language = chooseLanguageFile(readLanguageSetting(session.registry));
  session.messages = std::make_shared<MessageCatalogue>(session.installFolder, language);
}

void applyDialogTexts(const Session& session, std::span<const TextBinding> table,
                      const std::function<void(int, const std::string&)>& setText) {
  for (const TextBinding& row : table) {
    auto found = session.messages->lookup(row.message);
    if (found && !found->empty()) setText(row.controlId, *found);
  }
}

namespace texts {

const TextBinding kMainWindow[27] = {
    {56, 1027}, {57, 1028}, {58, 1029}, {70, 1081}, {71, 1082}, {69, 1064}, {72, 1040},
    {73, 1038}, {74, 1039}, {87, 1083}, {88, 1084}, {80, 1048}, {81, 1050}, {79, 1052},
    {82, 1056}, {189, 1045}, {83, 1054}, {84, 1058}, {86, 1066}, {107, 1136}, {112, 1080},
    {113, 1094}, {114, 1001}, {166, 1065}, {158, 1002}, {159, 1000}, {181, 1}};
const TextBinding kBadSector[5] = {{93, 1167}, {174, 1}, {169, 2}, {175, 1139}, {176, 1140}};
const TextBinding kReplaceFile[5] = {{92, 1137}, {170, 1}, {171, 2}, {172, 1139}, {173, 1138}};
const TextBinding kErrorWriting[3] = {{120, 1148}, {183, 1}, {169, 2}};
const TextBinding kCalculatingSize[3] = {{94, 1168}, {121, 1169}, {168, 1}};
const TextBinding kLogFileSelection[3] = {{85, 1165}, {160, 1}, {161, 2}};
const TextBinding kFileSaving[5] = {{91, 1156}, {182, 1002}, {160, 1}, {161, 2}, {167, 1130}};
const TextBinding kSaving[9] = {{97, 1157}, {98, 1158}, {99, 1159}, {100, 1160}, {119, 1161},
                                {101, 1162}, {102, 1163}, {168, 1}, {169, 1002}};
const TextBinding kSettings[18] = {{59, 1110}, {60, 1112}, {61, 1111}, {62, 1097}, {63, 1098},
                                   {64, 1029}, {65, 1099}, {66, 1123}, {67, 1124}, {68, 1125},
                                   {89, 1154}, {90, 1155}, {110, 1151}, {109, 1035}, {165, 1},
                                   {161, 2},   {163, 1128}, {164, 1129}};

}  // namespace texts

}  // namespace tessaly
