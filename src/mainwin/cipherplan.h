#pragma once
// Which photos a ciphering run ciphers to which names, worked out before anything is written:
// the rules of the main window's " Cipher" without the window.

#include <QList>
#include <QString>
#include <QStringList>

namespace veilshot {

struct CipherJob {
    QString source;
    QString target;
    int progress = 0;  // the progress strip's value while this photo is ciphered
    friend bool operator==(const CipherJob &, const CipherJob &) = default;
};

struct CipherPlan {
    // One photo picked without All: it goes to the name chosen, and a file already there is
    // reported; the run shows no progress. Otherwise photos whose target exists, or that are
    // gone when their turn comes, are passed over without a word.
    bool single = false;
    QList<CipherJob> jobs;  // in the order they are ciphered
    int maximum = 0;        // the progress strip's maximum
};

// The run for the photos `picked` in the dialog, with All checked or not, and `chosen` the name
// chosen in the save dialog. The ciphered files go to `folder` as NAME.veil. With All, every
// photo of the first picked one's folder that has no ciphered file in `folder` yet takes part,
// in the folder's order. Reads the folders; writes nothing.
CipherPlan PlanCiphering(const QStringList &picked, bool all, const QString &chosen, const QString &folder);

}  // namespace veilshot
