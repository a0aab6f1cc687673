// Process entry of printing_host.
#include <cstdlib>

#include "app/main_interface.h"

int main(int argc, char** argv) {
  std::exit(tovanel::applicationMain(argc, argv, tovanel::loadHostMainInterface));
}
