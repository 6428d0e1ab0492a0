// The program the notification tests start: it appends its words after the
// first to the file the first names, one line a start, so a test sees that
// the program ran and how often. Usage: leave_mark FILE WORDS...
#include <fstream>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::ofstream out(argv[1], std::ios::app);
  for (int i = 2; i < argc; ++i) out << (i > 2 ? " " : "") << argv[i];
  out << '\n';
  return out ? 0 : 1;
}
