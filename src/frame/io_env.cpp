#include "frame/io_env.h"

namespace rb {

namespace {
IoEnv* g_env = nullptr;
}  // namespace

IoEnv& io_env() { return g_env != nullptr ? *g_env : platform_env(); }

void set_io_env(IoEnv* env) { g_env = env; }

}  // namespace rb
