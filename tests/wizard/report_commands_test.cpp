// The Report and Directory List commands: the report a scan leaves, printed (into a
// PostScript file, made a PDF and read back as text), viewed, e-mailed and cleared, and
// the folder tree listed and printed.
#include "wizard_fixture.h"

#include <filesystem>
#include <fstream>

namespace tessaly::wizard::test {
namespace {

namespace fs = std::filesystem;
namespace wid = wizard::id;

class ReportTest : public WizardTest {
 protected:
  // The text of what was printed last, and a picture of its first page for a person.
  std::string printedText(const std::string& picture) {
    const std::string pdf = home.file(picture + ".pdf");
    run("ps2pdf '" + *printToFile + "' '" + pdf + "'");
    run("pdftoppm -png -r 60 -f 1 -l 1 -singlefile '" + pdf + "' '" +
        std::string(TESSALY_SCREENSHOT_DIR) + "/" + picture + "'");
    fs::remove(*printToFile);
    // The PostScript font's hyphen reads back as a minus sign.
    std::string text = run("pdftotext -layout '" + pdf + "' -");
    for (std::size_t at; (at = text.find("\u2212")) != std::string::npos;) text.replace(at, 3, "-");
    return text;
  }
  std::string fileText(const std::string& path) {
    const auto bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
  }
};

TEST_F(ReportTest, AScanLeavesItsReportWhichIsPrintedViewedMailedAndCleared) {
  printToFile = home.file("printed.ps");
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  // Before any scan the report prints its header over seven empty lines.
  ASSERT_TRUE(click(wid::kMenuReportPrint));
  EXPECT_NE(printedText("printed-empty-report").find("Tessaly Log"), std::string::npos);

  scanPartition("Partition - 1 ( FAT16 )");
  const std::string report = installFolder() + "/LogDetails.txt";
  const std::string entry = fileText(report);
  EXPECT_EQ(entry.substr(entry.find("Disk Number")),
            "Disk Number : 0\r\nModel Number : Disk image\r\nPartition Number : 0\r\nPartition "
            "Type : FAT16\r\n"
            "Search Mode : Quick\r\nSearch Range : 2048 to 43007\r\n");

  ASSERT_TRUE(click(wid::kMenuReportPrint));
  const std::string printed = printedText("printed-report");
  for (const char* line : {"Tessaly Log", "Disk Number : 0", "Model Number : Disk image",
                           "Partition Number : 0", "Partition Type : FAT16", "Search Mode : Quick",
                           "Search Range : 2048 to 43007", "Search Entire Disk Status: FALSE"})
    EXPECT_NE(printed.find(line), std::string::npos) << line << " in\n" << printed;
  EXPECT_NE(printed.find(" 1\n"), std::string::npos) << printed;  // the page number, at the right

  // View: the report is offered in the Log File Selection dialog and opened.
  onDialog = [&](wxDialog& d, int number) {
    if (number != 164) return;
    EXPECT_EQ(labelIn(d, 1165), "Select Log File :");
    screenshotOf(d, "log-file-selection");
    EXPECT_TRUE(press(d, 1));
  };
  ASSERT_TRUE(click(wid::kMenuReportView));
  EXPECT_EQ(openedFiles.back(), report);

  // E-mail: the desktop's composer gets the report attached; without one, the message.
  const std::string bin = home.file("bin");
  fs::create_directories(bin);
  const std::string composer = bin + "/xdg-email";
  std::ofstream(composer) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << home.file("mail-args")
                          << "'\n";
  fs::permissions(composer, fs::perms::owner_all);
  const std::string path = std::getenv("PATH");
  ::setenv("PATH", bin.c_str(), 1);
  ASSERT_TRUE(click(wid::kMenuReportMail));
  ASSERT_TRUE(
      pumpUntil([&] { return fs::exists(home.file("mail-args")); }, std::chrono::seconds(10)));
  fs::remove(composer);
  ASSERT_TRUE(click(wid::kMenuReportMail));
  ::setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(messages().back(), "Unable to Load EmailMessaging SubSystem");
  pump(std::chrono::milliseconds(200));
  EXPECT_EQ(fileText(home.file("mail-args")),
            "--subject\nTessaly Log File\n--body\nAttachment contains Tessaly Log "
            "File\n--attach\n" +
                report + "\nsupport@tessaly.example\n");

  // Clear deletes the file; View then says there is none.
  ASSERT_TRUE(click(wid::kMenuReportClear));
  EXPECT_FALSE(fs::exists(report));
  ASSERT_TRUE(click(wid::kMenuReportView));
  EXPECT_EQ(messages().back(), "Unable to find Tessaly Log File");
}

TEST_F(ReportTest, TheDirectoryListIsViewedAndPrintedFromTheFolderTree) {
  printToFile = home.file("printed.ps");
  ASSERT_FALSE(open({imagePath("fat_disk")}).has_value());
  scanPartition("Partition - 1 ( FAT16 )");
  ASSERT_TRUE(click(wid::kMenuDirectoryView));
  const std::string view = installFolder() + "/TreeStructView.txt";
  EXPECT_EQ(openedFiles.back(), view);
  const std::string listed = fileText(view);
  EXPECT_NE(listed.find("Root-> Documents\r\nDocuments-> Old Archive\r\n"), std::string::npos)
      << listed;

  ASSERT_TRUE(click(wid::kMenuDirectoryPrint));
  const std::string print = fileText(installFolder() + "/TreeStructPrint.dat");
  EXPECT_EQ(print.back(), '\xE6');
  const std::string printed = printedText("printed-directory-list");
  for (const char* line : {"Tessaly Log", "Root-> Documents", "Documents-> Old Archive"})
    EXPECT_NE(printed.find(line), std::string::npos) << line << " in\n" << printed;
}

}  // namespace
}  // namespace tessaly::wizard::test
