// Language files read by the message catalogue component: the input is written as a
// language file and messages are asked for, the numbers taken from the input itself so
// that lines the parser accepts are looked up.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

extern "C" int GetMSG(int number, char* buffer, const char* path);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = [] {
    std::string name = "/tmp/tessaly-fuzz-lang-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd >= 0) ::close(fd);
    return name;
  }();
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  // The component keeps a file until its time stamp or size changes; each input gets a
  // time of its own, so that it is always parsed afresh.
  static long generation = 0;
  const struct timespec times[2] = {{++generation, 0}, {generation, 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  char buffer[256];
  for (std::size_t i = 0; i + 1 < size && i < 64; i += 2) {
    const int number = data[i] | (data[i + 1] << 8);
    if (GetMSG(number, buffer, path.c_str()) && std::strlen(buffer) > 255) __builtin_trap();
  }
  return 0;
}
