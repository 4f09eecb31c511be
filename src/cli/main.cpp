#include "cli/veilcommand.h"

#include <string>
#include <vector>

int main(int argc, char **argv)
{
    return veilshot::cli::RunVeil(std::vector<std::string>(argv + 1, argv + argc));
}
