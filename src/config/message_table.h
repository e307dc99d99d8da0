// Every numbered message with its English text, looked up by name. The language file
// of the catalogue overrides the text; without one (or without the number in it) the
// English text here is shown. resources/EnglishA.dat holds the same texts (a test
// compares the two). Where one number is shown with two English texts in two places,
// each text has its own name.
#pragma once

#include <string_view>

namespace tessaly {

struct Message {
  int number;
  std::string_view english;
};

namespace msg {

// Recovery mode hints.
inline constexpr Message kQuickModeHint{
    0, "This mode quickly analyses the disk and displays the files."};
inline constexpr Message kAdvancedModeHint{1,
                                           "Use this mode when Quick Mode fails to recover files"};
inline constexpr Message kRawModeHint{2, "Use this mode when above modes fails to recover files"};
// Picture buttons.
inline constexpr Message kSaveLog{24, "Save Log"};
inline constexpr Message kLoadLog{25, "Load Log"};
inline constexpr Message kUnselectAll{51, "Unselect All"};
inline constexpr Message kSelectAll{52, "Select All"};
inline constexpr Message kHelp{53, "Help"};
inline constexpr Message kSaveData{54, "Save Data"};
inline constexpr Message kExitFromTessaly{55, "Exit from Tessaly"};
// Main window.
inline constexpr Message kQuickMode{56, "Quick "};
inline constexpr Message kAdvancedMode{57, "Advanced "};
inline constexpr Message kRawRecoveryMode{58, "Raw Recovery"};
inline constexpr Message kSearchEntireDisk{69, "Search Entire Disk"};
inline constexpr Message kEntireDisk{70, "Entire Disk"};
inline constexpr Message kSectorRange{71, "Sector Range"};
inline constexpr Message kPartitionTypeLabel{72, "Partition Type :"};
inline constexpr Message kStartSectorLabel{73, "Start Sector :"};
inline constexpr Message kEndSectorLabel{74, "End Sector  :"};
inline constexpr Message kSearchingBootSectorsAndDirectories{
    75, "Searching Boot Sectors and Directories..."};
inline constexpr Message kIdentifyingFromBootSectors{
    76, "Identifying File Systems from Boot Sectors..."};
inline constexpr Message kIdentifyingFromDirectories{
    77, "Identifying File Systems from Directories..."};
inline constexpr Message kBuildingFolderTree{78, "Building Folder Tree. Please Wait..."};
inline constexpr Message kSelectedFileSystem{79, "Selected File System"};
inline constexpr Message kSelectedDisk{80, "Selected Disk"};
inline constexpr Message kRange{81, "Range"};
inline constexpr Message kDirectoriesFound{82, "Directories Found"};
inline constexpr Message kBootSectorsFound{83, "Boot Sectors Found"};
inline constexpr Message kSelectedMode{84, "Selected Mode"};
inline constexpr Message kSelectLogFile{85, "Select Log File :"};
inline constexpr Message kCurrentFolder{86, "Current Folder  :"};
inline constexpr Message kSelectDisk{107, "Select Disk"};
inline constexpr Message kSelectRawFileTypes{112, "Select File Type(s) for Raw Recovery"};
inline constexpr Message kSelectRawMethod{113, "Select Raw Recovery Method"};
inline constexpr Message kFilesRecovered{114, "Files Recovered"};
inline constexpr Message kNext{158, "&Next"};
inline constexpr Message kBack{159, "B&ack"};
inline constexpr Message kStopSearching{166, "&Stop Searching"};
inline constexpr Message kSearchingPartition{189, "Searching Partition..."};
// Settings.
inline constexpr Message kIncludeDeletedFiles{59, "Include Deleted File(s)"};
inline constexpr Message kExcludeDeletedFiles{60, "Exclude Deleted File(s)"};
inline constexpr Message kDeletedFilesOnly{61, "Save Deleted Files only"};
inline constexpr Message kAuto{62, "Auto"};
inline constexpr Message kFat1{63, "FAT1 "};
inline constexpr Message kFat2{64, "FAT2"};
inline constexpr Message kContiguous{65, "Contigious"};
inline constexpr Message kSaveSelectedFiles{66, "Save Selected File(s)"};
inline constexpr Message kSaveAllFiles{67, "Save all File(s)"};
inline constexpr Message kInvertSelection{68, "Invert Selection"};
inline constexpr Message kEarlier{89, "Earlier"};
inline constexpr Message kAfter{90, "After"};
inline constexpr Message kFileUpdated{109, "File Updated"};
inline constexpr Message kSavingMode{110, "Saving Mode"};
inline constexpr Message kAdd{163, "&Add "};
inline constexpr Message kRemove{164, "&Remove"};
inline constexpr Message kApply{165, "&Apply"};
// File Saving, Calculating File Size, Saving.
inline constexpr Message kEnterSavingPath{91, "Enter Path for Saving or Click on Browse Button"};
inline constexpr Message kCalculatingFileSize{94, "Calculating File Size. Please Wait..."};
inline constexpr Message kFileName{97, "File Name "};
inline constexpr Message kFilePath{98, "File Path "};
inline constexpr Message kTotalFilesRecovered{99, "Total Files Recovered "};
inline constexpr Message kRecoveredCurrentFile{100, " Recovered Current File "};
inline constexpr Message kTimeRemaining{101, "Time Remaining "};
inline constexpr Message kTimeElapsed{102, "Time Elapsed "};
inline constexpr Message kTotalDataRecovered{119, "Total Data Recovered "};
inline constexpr Message kTotalFiles{121, "Total Files :"};
inline constexpr Message kOk{160, "&OK"};
inline constexpr Message kCancel{161, "&Cancel"};
inline constexpr Message kSettings{167, "&Settings"};
inline constexpr Message kStop{168, "&Stop"};
inline constexpr Message kSkip{169, "&Skip"};
inline constexpr Message kBrowse{182, "&Browse"};
// Prompts.
inline constexpr Message kReplacePrompt{
    92, "The File Already Exists. Do you want to replace the existing file."};
inline constexpr Message kBadSectorPrompt{93, "Encountered Bad Sector(s) while reading disk."};
inline constexpr Message kErrorCopyingPrompt{
    120,
    "Error copying current file :\nThere may be bad sectors or error in file system or not enough "
    "space in "
    "destination."};
inline constexpr Message kYes{170, "&Yes"};
inline constexpr Message kNo{171, "&No"};
inline constexpr Message kYesToAll{172, "Yes to &All"};
inline constexpr Message kNoToAll{173, "No &to All"};
inline constexpr Message kRetry{174, "Retry"};
inline constexpr Message kRetryAll{175, "Retry All"};
inline constexpr Message kSkipAll{176, "Skip All"};
inline constexpr Message kAbort{183, "&Abort"};
// File list columns.
inline constexpr Message kNameColumn{115, "Name"};
inline constexpr Message kTypeColumn{116, "Type"};
inline constexpr Message kSizeColumn{117, "Size"};
inline constexpr Message kTimeColumn{118, "Time"};
inline constexpr Message kDateColumn{186, "Date"};
// Messages.
inline constexpr Message kSaveRecoveryQuestion{122, "Do you want to save the recovery?"};
inline constexpr Message kExitTessalyQuestion{123, "Do you want to exit from Tessaly?"};
inline constexpr Message kExitQuestion{123, "Do you want to Exit?"};
inline constexpr Message kSelectFileType{124, "Please select file type for recovery"};
inline constexpr Message kNoDotInExtension{
    125,
    "Do not include \".\" (DOT) in extension. Enter extensions like this : tmp,html,bak etc.."};
inline constexpr Message kExtensionExists{
    126, "This extension already exist. Enter different extension"};
inline constexpr Message kNoMoreExtensions{127, "Cannot add more extensions"};
inline constexpr Message kSelectPartitionType{135, "Select partition type"};
inline constexpr Message kStartSectorNotValid{136, "Start sector is not valid"};
inline constexpr Message kInvalidStartSector{136, "Invalid Start Sector"};
inline constexpr Message kEndSectorNotValid{137, "End sector is not valid"};
inline constexpr Message kInvalidEndSector{137, "Invalid End Sector"};
inline constexpr Message kEndBelowStart{138, "End sector should be bigger than start sector"};
inline constexpr Message kStartNotBelowEnd{138, "Start sector should be less than End sector"};
inline constexpr Message kCannotCalculateParameters{140,
                                                    "Unable to calculate partition parameters"};
inline constexpr Message kNoFileSystemIdentified{142, "No file system could be identified"};
inline constexpr Message kTerminateQuestion{143, "Do you want to terminate this process?"};
inline constexpr Message kTerminateRawQuestion{143, "Do you want terminate this process ?"};
inline constexpr Message kNoEmailSubsystem{144, "Unable to Load EmailMessaging SubSystem"};
inline constexpr Message kNoRecoveryForFloppy{145, "Recovery can not be saved for Floppy"};
inline constexpr Message kInvalidExtension{146, "Invalid Extension"};
inline constexpr Message kOverwriteQuestion{147,
                                            " already exists. Do you want to overwrite this file?"};
inline constexpr Message kUnableToOpenFile{148, "Unable to open file"};
inline constexpr Message kNotInRawMode{
    149, "This Feature can not be used while running under RAW Recovery Mode"};
inline constexpr Message kWrongDisk{151, "You Have Selected Wrong Disk"};
inline constexpr Message kErrorInFile{152, "Error in file"};
inline constexpr Message kNoLogFile{153, "Unable to find Tessaly Log File"};
inline constexpr Message kNeedsAdvancedMode{
    177, "Recovery is not possible in Quick Mode use Advance Mode"};
inline constexpr Message kExtensionTooLong{178,
                                           "Extension should not exceed more than 4 characters"};
inline constexpr Message kBlankInExtension{179, "Extension should not contain blank space"};
inline constexpr Message kNoStarInExtension{
    180, "Do not include \"*\" in extension. Enter extensions like this : tmp,html,bak etc.."};
inline constexpr Message kStartRecovery{181, "S&tart Recovery"};
inline constexpr Message kSearchingLostDirectories{184,
                                                   "Searching Lost Directories. Please Wait..."};
// The lost-directory check's status line: this text, then "j/n".
inline constexpr Message kSearchingLostDirectoriesCount{184, "Searching Lost Directories "};
inline constexpr Message kPartitionDetails{185, " Partition Details "};
inline constexpr Message kSearchingDisk{188, "Searching Disk - "};
inline constexpr Message kStopRecovery{192, "Sto&p Recovery"};
inline constexpr Message kFailedToCreate{193, "Failed to create "};
inline constexpr Message kCalculatingPartitionParameters{194, "Calculating Partition Params..."};

// Every entry above, in order (the comparison with the language file walks it).
inline constexpr Message kAll[] = {
    kQuickModeHint,
    kAdvancedModeHint,
    kRawModeHint,
    kSaveLog,
    kLoadLog,
    kUnselectAll,
    kSelectAll,
    kHelp,
    kSaveData,
    kExitFromTessaly,
    kQuickMode,
    kAdvancedMode,
    kRawRecoveryMode,
    kSearchEntireDisk,
    kEntireDisk,
    kSectorRange,
    kPartitionTypeLabel,
    kStartSectorLabel,
    kEndSectorLabel,
    kSearchingBootSectorsAndDirectories,
    kIdentifyingFromBootSectors,
    kIdentifyingFromDirectories,
    kBuildingFolderTree,
    kSelectedFileSystem,
    kSelectedDisk,
    kRange,
    kDirectoriesFound,
    kBootSectorsFound,
    kSelectedMode,
    kSelectLogFile,
    kCurrentFolder,
    kSelectDisk,
    kSelectRawFileTypes,
    kSelectRawMethod,
    kFilesRecovered,
    kNext,
    kBack,
    kStopSearching,
    kSearchingPartition,
    kIncludeDeletedFiles,
    kExcludeDeletedFiles,
    kDeletedFilesOnly,
    kAuto,
    kFat1,
    kFat2,
    kContiguous,
    kSaveSelectedFiles,
    kSaveAllFiles,
    kInvertSelection,
    kEarlier,
    kAfter,
    kFileUpdated,
    kSavingMode,
    kAdd,
    kRemove,
    kApply,
    kEnterSavingPath,
    kCalculatingFileSize,
    kFileName,
    kFilePath,
    kTotalFilesRecovered,
    kRecoveredCurrentFile,
    kTimeRemaining,
    kTimeElapsed,
    kTotalDataRecovered,
    kTotalFiles,
    kOk,
    kCancel,
    kSettings,
    kStop,
    kSkip,
    kBrowse,
    kReplacePrompt,
    kBadSectorPrompt,
    kErrorCopyingPrompt,
    kYes,
    kNo,
    kYesToAll,
    kNoToAll,
    kRetry,
    kRetryAll,
    kSkipAll,
    kAbort,
    kNameColumn,
    kTypeColumn,
    kSizeColumn,
    kTimeColumn,
    kDateColumn,
    kSaveRecoveryQuestion,
    kExitTessalyQuestion,
    kExitQuestion,
    kSelectFileType,
    kNoDotInExtension,
    kExtensionExists,
    kNoMoreExtensions,
    kSelectPartitionType,
    kStartSectorNotValid,
    kInvalidStartSector,
    kEndSectorNotValid,
    kInvalidEndSector,
    kEndBelowStart,
    kStartNotBelowEnd,
    kCannotCalculateParameters,
    kNoFileSystemIdentified,
    kTerminateQuestion,
    kTerminateRawQuestion,
    kNoEmailSubsystem,
    kNoRecoveryForFloppy,
    kInvalidExtension,
    kOverwriteQuestion,
    kUnableToOpenFile,
    kNotInRawMode,
    kWrongDisk,
    kErrorInFile,
    kNoLogFile,
    kNeedsAdvancedMode,
    kExtensionTooLong,
    kBlankInExtension,
    kNoStarInExtension,
    kStartRecovery,
    kSearchingLostDirectories,
    kSearchingLostDirectoriesCount,
    kPartitionDetails,
    kSearchingDisk,
    kStopRecovery,
    kFailedToCreate,
    kCalculatingPartitionParameters,
};

}  // namespace msg

}  // namespace tessaly
