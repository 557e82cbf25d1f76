// Stands in for the registration tool: appends the registered path to the file named by
// QM_REGISTER_LOG, one line per call ("bad: ..." when the arguments are not "/s" and a path).
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const char* log = std::getenv("QM_REGISTER_LOG");
  if (log == nullptr || *log == '\0') return 2;
  std::string line;
  if (argc == 3 && std::string(argv[1]) == "/s") {
    line = argv[2];
  } else {
    line = "bad:";
    for (int i = 1; i < argc; ++i) line += std::string(" ") + argv[i];
  }
  std::FILE* file = std::fopen(log, "ab");
  if (file == nullptr) return 1;
  std::fprintf(file, "%s\n", line.c_str());
  std::fclose(file);
  return 0;
}
