// veilshot-decode: the program's decoder process for metafiles and the pictures Qt reads, from
// untrusted sources.

#include "imaging/decoder/decoder.h"

int main(int argc, char **argv)
{
    veilshot::imaging::decoder::Run(argc, argv);
}
