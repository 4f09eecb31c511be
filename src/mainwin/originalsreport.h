#pragma once
// What the main window says about the originals of a Cipher run: the question whether to remove
// them, and what became of them.

#include "files/originals.h"

#include <QString>

#include <cstddef>
#include <vector>

namespace veilshot {

// The question after a run in which `checked` photos (at least one) were ciphered and checked.
QString RemoveOriginalsQuestionText(std::size_t checked);

// How many originals were removed and how many kept, each kept one named with why (at most a
// screenful of them), and the desktop's traces that could not be removed.
QString PutAwayReport(std::size_t removed, const std::vector<OriginalKept> &kept,
                      const std::vector<std::string> &tracesLeft);

// The photos whose copies failed their check, after a run that removed nothing.
QString CheckFailedReport(const std::vector<OriginalKept> &kept);

}  // namespace veilshot
