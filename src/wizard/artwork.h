// The pictures of the installation folder: the step pictures, the small icons of the
// trees and the information list, the check boxes of the folder tree, the picture
// buttons' icons and the program icon. Every file is a PNG image; the step pictures keep
// the names the wizard has always used ("Step1.bmp" ...), their content is PNG all the same.
#pragma once

#include <string>

#include "wizard/wx.h"

namespace tessaly::wizard::artwork {

// Step pictures.
inline constexpr const char* kStep1 = "Step1.bmp";      // start, disk page
inline constexpr const char* kStep2 = "Step2.bmp";      // disk chosen
inline constexpr const char* kStep4 = "Step4.bmp";      // partition page
inline constexpr const char* kStep4Raw = "Step4_1.bmp"; // raw recovery
inline constexpr const char* kStep5Raw = "Step5_1.bmp"; // raw recovery, a file type checked
inline constexpr const char* kStep5 = "Step5.bmp";      // scan started
inline constexpr const char* kStep6 = "Step6.bmp";      // file-system page (Advanced)
inline constexpr const char* kStep6Quick = "Step6_1.bmp"; // results of a Quick scan
inline constexpr const char* kStep7 = "Step7.bmp";      // results of an Advanced scan
// The step pictures are drawn at 248 x 236 pixels; the window scales them to its picture.

// A strip of 16 x 16 icons indexed by the image numbers of the trees and lists:
// 0 file system, 1 disk or partition, 2 computer, 3 closed folder, 7 open folder,
// 10 information row, 11 file, 12 deleted file.
inline constexpr const char* kSmallIcons = "SmallIcons.png";
constexpr int kSmallIconCount = 16;
// The file list's strip of 16 x 16 icons: 1 folder row, 10 information row, and the
// file types' images (2 archive, 3 spreadsheet, 4 word processor, 5 presentation,
// 7 program, 8 font, 9 C++ source, 11 header, 12 web page, 13 help, 15 PDF, 16 registry,
// 17 sound, 18 video, 19 any other file, 20 text).
inline constexpr const char* kFileIcons = "FileIcons.png";
constexpr int kFileIconCount = 21;
// A strip of 16 x 16 check-box state images: 0 none, 1 unchecked, 2 checked, 3 partly.
inline constexpr const char* kCheckBoxes = "CheckBoxes.png";
constexpr int kCheckBoxCount = 4;
// The picture buttons' icons, 24 x 24.
inline constexpr const char* kButtonLoadLog = "ButtonLoadLog.png";
inline constexpr const char* kButtonSaveLog = "ButtonSaveLog.png";
inline constexpr const char* kButtonUnselectAll = "ButtonUnselectAll.png";
inline constexpr const char* kButtonSelectAll = "ButtonSelectAll.png";
inline constexpr const char* kButtonSaveData = "ButtonSaveData.png";
inline constexpr const char* kButtonHelp = "ButtonHelp.png";
inline constexpr const char* kButtonExit = "ButtonExit.png";
// The program icon in three sizes.
inline constexpr const char* kIcon16 = "Tessaly16.png";
inline constexpr const char* kIcon32 = "Tessaly32.png";
inline constexpr const char* kIcon48 = "Tessaly48.png";

// Loads a picture of the installation folder; an invalid image when it is missing.
wxImage load(const std::string& installFolder, const std::string& name);
// An image list cut from a strip of square icons (empty icons when the file is missing).
wxImageList* imageList(const std::string& installFolder, const std::string& name, int count,
                       int size = 16);
// The program icon bundle.
wxIconBundle programIcons(const std::string& installFolder);

}  // namespace tessaly::wizard::artwork
