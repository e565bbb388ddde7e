#include "CSelectImpedanceDlg.h"

#include "ops/SolartronImport.h"
#include "results/SolartronFile.h"

namespace nosk {

namespace {

QStringList blockEntries(const SolartronFile& file)
{
    QStringList entries;
    for (int i = 0; i < int(file.blocks.size()); ++i)
        entries << QString::fromStdString(blockListEntry(i));
    return entries;
}

} // namespace

CSelectImpedanceDlg::CSelectImpedanceDlg(const SolartronFile& file, QWidget* parent)
    : CListSelectDlg({QStringLiteral("Select impedance"), QStringLiteral("File description:"),
                      QStringLiteral("List of impedandce data blocks:"), QStringLiteral("Block description:")},
                     QString::fromStdString(fileDescriptionText(file)), blockEntries(file), QSize(520, 300),
                     [f = &file](int i) {
                         if (i >= int(f->blocks.size()))
                             return QString();
                         QString text = QString::fromStdString(
                             SolartronFile::blockDescription(f->blocks[std::size_t(i)]));
                         text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
                         return text;
                     },
                     parent)
{
}

} // namespace nosk
