#include "cipher/privacy.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace veilshot {

void HardenProcess()
{
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
}

}  // namespace veilshot
