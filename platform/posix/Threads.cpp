#include "platform/Threads.h"

#include <pthread.h>

namespace plat {

void SetCurrentThreadName(const std::string& name) {
  if (name.empty()) return;
  pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

}  // namespace plat
