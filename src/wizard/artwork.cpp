#include "wizard/artwork.h"

#include <algorithm>

#include "platform/paths.h"

namespace tessaly::wizard::artwork {

wxImage load(const std::string& installFolder, const std::string& name) {
  wxImage image;
  const wxString path = wxString::FromUTF8(platform::joinPath(installFolder, name));
  if (wxFileExists(path)) {
    wxLogNull quiet;  // a damaged file shows no picture, not a log window
    image.LoadFile(path, wxBITMAP_TYPE_ANY);
  }
  return image;
}

namespace {

wxImage blank(int size) {
  wxImage image(size, size, true);
  image.InitAlpha();
  std::fill(image.GetAlpha(), image.GetAlpha() + size * size, static_cast<unsigned char>(0));
  return image;
}

}  // namespace

wxImageList* imageList(const std::string& installFolder, const std::string& name, int count,
                       int size) {
  auto* list = new wxImageList(size, size, true, count);
  wxImage strip = load(installFolder, name);
  for (int i = 0; i < count; ++i) {
    wxImage icon;
    if (strip.IsOk() && strip.GetWidth() >= (i + 1) * size && strip.GetHeight() >= size)
      icon = strip.GetSubImage(wxRect(i * size, 0, size, size));
    else
      icon = blank(size);
    list->Add(wxBitmap(icon));
  }
  return list;
}

wxIconBundle programIcons(const std::string& installFolder) {
  wxIconBundle bundle;
  for (const char* name : {kIcon16, kIcon32, kIcon48}) {
    wxImage image = load(installFolder, name);
    if (!image.IsOk()) continue;
    wxIcon icon;
    icon.CopyFromBitmap(wxBitmap(image));
    bundle.AddIcon(icon);
  }
  return bundle;
}

}  // namespace tessaly::wizard::artwork
