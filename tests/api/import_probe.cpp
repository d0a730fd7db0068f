// Linked against the C++ runtime DLL on purpose: the import check must
// refuse it.
#include <iostream>
#include <string>

int main(int argc, char** argv) {
  std::string name = argc > 0 ? argv[0] : "import_probe";
  std::cout << name.size() << '\n';
  return 0;
}
