// Any bytes as a code file: read as text (byte-order mark, UTF-8 or Latin-1), then made into
// the key table. Whatever the text, the table holds digits 0..7, its second half repeats its
// first, and the code check is one that the ".veil" reader accepts as a check.

#include "cipher/cipherengine.h"
#include "cipher/codetext.h"

#include <cstdlib>
#include <string_view>

using namespace veilshot;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::u16string text = DecodeCodeText(std::string_view(reinterpret_cast<const char *>(data), size));
    // The code window saves what it reads; reading that back gives the same lines.
    const std::u16string again = DecodeCodeText(EncodeCodeText(text));
    if (DecodeCodeText(EncodeCodeText(again)) != again)
        std::abort();
    Utf16ToUtf8(text);

    cipher::CipherEngine engine;
    if (engine.BuildKeyTable(text) != cipher::CipherEngine::BuildResult::Built)
        return 0;
    for (int p = 1; p <= cipher::KeyTableHalf; p += 97) {
        if (engine.KeyTable(p) > 7 || engine.KeyTable(p) != engine.KeyTable(p + cipher::KeyTableHalf))
            std::abort();
    }
    if (!cipher::CouldBeCheck(engine.CodeCheck()) || !engine.matches(engine.CodeCheck()))
        std::abort();
    return 0;
}
