#include "run.h"

int main(int argc, char **argv) {
  cdmg::run(argc, argv);
}
