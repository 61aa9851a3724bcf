#include "qt/mod_main.h"

int main(int argc, char** argv) {
  return modMain::Main(argc, argv);
}
