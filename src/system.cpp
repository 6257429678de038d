#include "system.h"

namespace cdmg {

namespace {
System *replacement = nullptr;
}

System &system() {
  return replacement ? *replacement : native_system();
}

void use_system(System &system) {
  replacement = &system;
}

} // namespace cdmg
