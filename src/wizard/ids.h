// Control and command ids of the main window, with the numbers of its template. The
// controls that show the engines' reports come first (the window maps each report onto
// them); the rest of the window's follow.
#pragma once

namespace tessaly::wizard {

// The controls that show what the engines report.
namespace control {
constexpr int kDiskTree = 100;
constexpr int kInformationList = 1001;
constexpr int kScanProgress = 1046;
constexpr int kStatusLine = 1047;
constexpr int kBootSectorsLabel = 1054;
constexpr int kBootSectorsCount = 1055;
constexpr int kFoundLabel = 1056;
constexpr int kFoundCount = 1057;
constexpr int kStopSearching = 1065;
constexpr int kCurrentFolderLabel = 1066;
constexpr int kCurrentFolder = 1067;
// The Saving dialog's fields.
constexpr int kSaveFileName = 1071;
constexpr int kSaveTotalFiles = 1072;
constexpr int kSaveCurrentFile = 1074;
constexpr int kSaveFilePath = 1075;
constexpr int kSaveTotalCount = 1141;  // "Calculating File Size" dialog: Total Files
constexpr int kSaveDataDone = 1143;
constexpr int kSaveDataTotal = 1144;
constexpr int kSaveProgress = 1145;
constexpr int kSaveTimeRemaining = 1146;
constexpr int kSaveTimeElapsed = 1147;
}  // namespace control

}  // namespace tessaly::wizard

namespace tessaly::wizard::id {

using namespace tessaly::wizard::control;

// Wizard steps.
constexpr int kCancel = 2;  // hidden "Button2": the close sequence
constexpr int kBack = 1000;
constexpr int kNext = 1002;
constexpr int kLogPath = 1005;
constexpr int kLogPathLabel = 1007;
constexpr int kSearchMorePartitions = 1011;
constexpr int kQuick = 1027;
constexpr int kAdvanced = 1028;
constexpr int kRaw = 1029;
constexpr int kPartitionType = 1030;
constexpr int kStartSector = 1036;
constexpr int kEndSector = 1037;
constexpr int kStartSectorLabel = 1038;
constexpr int kEndSectorLabel = 1039;
constexpr int kPartitionTypeLabel = 1040;
constexpr int kRecoveryModesBox = 1041;
constexpr int kModeField = 1043;
constexpr int kPartitionSearchProgress = 1044;
constexpr int kPartitionSearchText = 1045;
constexpr int kSearchEntireDisk = 1064;
constexpr int kSelectDiskBox = 1136;

// The scan summary: labels 1048, 1050, ... with their values one above.
constexpr int kSelectedDiskLabel = 1048;
constexpr int kSelectedDisk = 1049;
constexpr int kRangeLabel = 1050;
constexpr int kRange = 1051;
constexpr int kFileSystemLabel = 1052;
constexpr int kFileSystem = 1053;
constexpr int kSelectedModeLabel = 1058;
constexpr int kSelectedMode = 1059;
constexpr int kSummaryBox = 1060;
constexpr int kSummaryFirst = 1048, kSummaryLast = 1060;

// Raw recovery (its page comes with the raw recovery engine).
constexpr int kRawFileTypesLabel = 1080;
constexpr int kRawEntireDisk = 1081;
constexpr int kRawSectorRange = 1082;
constexpr int kRawStart = 1083;
constexpr int kRawEnd = 1084;
constexpr int kStartRecovery = 1089;
constexpr int kRawProgress = 1090;
constexpr int kRawFilesRecovered = 1092;
constexpr int kRawFileTypes = 1093;
constexpr int kRawMethodLabel = 1094;
constexpr int kRawStatus = 1100;

// Picture buttons, the step picture and the help pane.
constexpr int kLoadLogButton = 1014;
constexpr int kSaveFilesButton = 1016;
constexpr int kSelectAllButton = 1017;
constexpr int kUnselectAllButton = 1018;
constexpr int kHelpButton = 1020;
constexpr int kExitButton = 1021;
constexpr int kSaveLogButton = 1134;
constexpr int kStepPicture = 1149;
constexpr int kHelpPane = 1108;

// The other trees of the window (the disk tree's id is among the report controls above).
constexpr int kPartitionTree = 101;
constexpr int kFolderTree = 102;
constexpr int kFileSystemTree = 103;

// Menu commands.
constexpr int kMenuSave = 32776;
constexpr int kMenuSelectAll = 32777;
constexpr int kMenuContents = 32802;
constexpr int kMenuUpdate = 32835;
constexpr int kMenuSaveSettings = 32838;
constexpr int kMenuSaveLog = 32842;
constexpr int kMenuLoadLog = 32843;
constexpr int kMenuReportView = 32844;
constexpr int kMenuReportPrint = 32845;
constexpr int kMenuReportMail = 32846;
constexpr int kMenuSupportOnline = 32847;
constexpr int kMenuSupportMail = 32848;
constexpr int kMenuSupportPhone = 32849;
constexpr int kMenuReportClear = 32850;
constexpr int kMenuBalloonHelp = 32851;
constexpr int kMenuDirectoryView = 32852;
constexpr int kMenuDirectoryPrint = 32853;
constexpr int kMenuDutch = 32854;
constexpr int kMenuEnglish = 32855;
constexpr int kMenuFrench = 32856;
constexpr int kMenuGerman = 32857;
constexpr int kMenuExit = 57665;
constexpr int kMenuAbout = 40003;
// The one command of the folder tree's and the file list's popup menus.
constexpr int kPopupSave = 32830;

}  // namespace tessaly::wizard::id
