// Language files read by the message catalogue component: the input is written as a
// language file and messages are asked for, the numbers taken from the input itself so
// that lines the parser accepts are looked up.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

extern "C" int GetMSG(int number, char* buffer, const char* path);

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One file for every input, in memory where the system has such a folder; its name is
  // removed at once and the file reached through its descriptor, so that nothing is left
  // behind however the fuzzer ends.
  static const int fd = [] {
    struct stat st {};
    const bool shm = ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0;
    std::string name = std::string(shm ? "/dev/shm" : "/tmp") + "/tessaly-fuzz-lang-XXXXXX";
    const int made = ::mkstemp(name.data());
    if (made >= 0) ::unlink(name.c_str());
    return made;
  }();
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (fd < 0 || ::ftruncate(fd, 0) != 0 ||
      ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    __builtin_trap();
  // The component keeps a file until its time stamp or size changes; each input gets a
  // time of its own, so that it is always parsed afresh.
  static long generation = 0;
  const struct timespec times[2] = {{++generation, 0}, {generation, 0}};
  ::futimens(fd, times);
  char buffer[256];
  for (std::size_t i = 0; i + 1 < size && i < 64; i += 2) {
    const int number = data[i] | (data[i + 1] << 8);
    if (GetMSG(number, buffer, path.c_str()) && std::strlen(buffer) > 255) __builtin_trap();
  }
  return 0;
}
