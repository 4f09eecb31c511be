// veilshot-decode-photo: the program's decoder process for today's photo formats from
// untrusted sources.

#include "imaging/decoder/photodecoder.h"

int main(int argc, char **argv)
{
    veilshot::imaging::decoder::RunPhoto(argc, argv);
}
