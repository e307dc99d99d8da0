#include "session/file_rows.h"

#include <cstdio>

namespace tessaly {

namespace {

bool endsWith(std::string_view name, std::string_view ending) {
  // The last n characters, or the whole name when it is shorter.
  if (name.size() < ending.size()) return name == ending;
  return name.substr(name.size() - ending.size()) == ending;
}

}  // namespace

FileType classifyFileType(std::string_view name) {
  struct Rule {
    std::initializer_list<std::string_view> endings;
    int image;
    const char* text;
  };
  static const Rule rules[] = {
      {{".DOC", ".doc"}, 4, "Deleted Word File"},
      {{".PPT", ".ppt"}, 5, "Deleted Power Point File"},
      {{".XLS", ".xls"}, 3, "Deleted Excel File"},
      {{".PDF", ".pdf"}, 15, "Deleted PDF file"},
      {{".EXE", ".exe"}, 7, "Deleted Executable file"},
      {{".TTF", ".ttf", ".FON", ".fon"}, 8, "Deleted Font file"},
      {{".ZIP", ".zip", ".RAR", ".rar"}, 2, "Deleted Winzip File"},
      {{".htm", "HTML", "html"}, 12, "Deleted Internet file"},
      {{".chm", ".CHM"}, 13, "Deleted Help File"},
      {{".REG", ".reg"}, 16, "Deleted Registry file"},
      {{".WAV", ".wav", ".AU", ".au"}, 17, "Deleted Sound file"},
      {{".AVI", ".avi"}, 18, "Deleted Video File"},
      {{".CPP", ".cpp"}, 9, "Deleted C++ file"},
      {{".H", ".h"}, 11, "Deleted Header file"},
      {{".TXT", ".txt", ".LOG", ".log"}, 20, "Deleted Text file"},
  };
  for (const Rule& rule : rules)
    for (std::string_view ending : rule.endings)
      if (endsWith(name, ending)) return {rule.image, rule.text};
  return {19, "Deleted File"};
}

std::string monthName(int month) {
  static const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return month >= 1 && month <= 12 ? names[month - 1] : "Err";
}

std::string fatDateText(std::uint32_t d) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02u-%s-%u", d & 31u,
                monthName(static_cast<int>((d >> 5) & 15u)).c_str(), ((d >> 9) & 0x7Fu) + 1980u);
  return buffer;
}

std::string fatTimeText(std::uint32_t t) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02u:%02u", (t >> 11) & 31u, (t >> 5) & 63u);
  return buffer;
}

bool fileTimeToCivil(std::int64_t fileTime, CivilTime& out) {
  if (fileTime < 0) return false;
  std::int64_t seconds = fileTime / 10000000;
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  out.hour = static_cast<int>(rest / 3600);
  out.minute = static_cast<int>(rest % 3600 / 60);
  out.second = static_cast<int>(rest % 60);
  // Days since 1601-01-01 to a civil date (proleptic Gregorian calendar).
  std::int64_t z = days - 134774 + 719468;  // to days since 0000-03-01
  const std::int64_t era = z / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  out.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  out.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  out.year = static_cast<int>(yoe + era * 400 + (out.month <= 2 ? 1 : 0));
  // The calendar conversion of the platform stops at year 30827.
  return out.year <= 30827;
}

std::string ntfsDateText(std::int64_t fileTime) {
  CivilTime t{};
  if (!fileTimeToCivil(fileTime, t)) return "";
  return std::to_string(t.day) + "-" + monthName(t.month) + "-" + std::to_string(t.year);
}

std::string ntfsTimeText(std::int64_t fileTime) {
  CivilTime t{};
  if (!fileTimeToCivil(fileTime, t)) return "";
  return std::to_string(t.hour) + ":" + std::to_string(t.minute) + ":" + std::to_string(t.second);
}

}  // namespace tessaly
