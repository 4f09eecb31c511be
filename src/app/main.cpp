#include "app/application.h"

int main(int argc, char **argv)
{
    return veilshot::RunApplication(argc, argv);
}
