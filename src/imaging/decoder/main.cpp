// veilshot-decode: the program's decoder process for pictures from untrusted sources.

#include "imaging/decoder/decoder.h"

int main(int argc, char **argv)
{
    veilshot::imaging::decoder::Run(argc, argv);
}
