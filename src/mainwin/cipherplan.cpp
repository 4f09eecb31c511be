#include "mainwin/cipherplan.h"

#include "files/fileoperations.h"
#include "files/folderlisting.h"

#include <QFileInfo>

namespace veilshot {

CipherPlan PlanCiphering(const QStringList &picked, bool all, const QString &chosen, const QString &folder)
{
    const auto targetOf = [&folder](const QString &file) {
        return JoinPath(folder, ReplaceExtension(FileNameOf(file), QStringLiteral(".veil")));
    };
    CipherPlan plan;
    if (picked.isEmpty())
        return plan;
    if (!all && picked.size() == 1) {
        plan.single = true;
        plan.jobs = {{picked.constFirst(), targetOf(chosen)}};
        return plan;
    }
    if (!all) {
        for (int i = 0; i < picked.size(); ++i)
            plan.jobs << CipherJob{picked[i], targetOf(picked[i]), i};
        plan.maximum = int(picked.size()) - 1;
        return plan;
    }
    const QString source = FolderOf(picked.constFirst());
    for (const QString &name : ListFolder(source)) {
        const QString path = JoinPath(source, name);
        if (IsPhotoFile(path) && !QFileInfo::exists(targetOf(path)))
            plan.jobs << CipherJob{path, targetOf(path), int(plan.jobs.size()) + 1};
    }
    plan.maximum = int(plan.jobs.size());
    return plan;
}

}  // namespace veilshot
