#pragma once
// The confirmation before a file is removed.

#include <QDialog>

namespace veilshot {
class PanelButton;
namespace platform { struct Platform; }

class TForm8 : public QDialog {
    Q_OBJECT
public:
    // `target` is the file that "Yes" removes (RemoveTarget).
    TForm8(const QString &target, platform::Platform &platform, QWidget *parent);

    void Panel1Click();  // "Yes"
    void Panel2Click();  // "No"

private:
    QString target_;
    platform::Platform &platform_;
};

}  // namespace veilshot
