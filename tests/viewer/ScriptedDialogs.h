#pragma once

#include "ViewerDialogs.h"

#include <QPrinter>

#include <deque>
#include <string>

namespace nosk::test {

// Answers the viewer's dialogs from queues; an unscripted dialog is cancelled.
class ScriptedDialogs : public ViewerDialogs {
public:
    struct TransformAnswer {
        DialogResult result;
        TransformChoice choice;
    };
    struct AxisAnswer {
        DialogResult result;
        int type;
    };

    DialogResult transform(QWidget*, TransformChoice& choice) override
    {
        shownTransform.push_back(choice);
        if (transforms.empty())
            return DialogResult::Cancel;
        auto a = transforms.front();
        transforms.pop_front();
        if (a.result == DialogResult::Ok)
            choice = a.choice;
        return a.result;
    }
    DialogResult xAxisType(QWidget*, int& type) override
    {
        shownAxisType.push_back(type);
        if (axisTypes.empty())
            return DialogResult::Cancel;
        auto a = axisTypes.front();
        axisTypes.pop_front();
        if (a.result == DialogResult::Ok)
            type = a.type;
        return a.result;
    }
    bool printSetup(QWidget*, std::unique_ptr<QPrinter>& printer) override
    {
        ++printSetups;
        if (pdfPath.empty())
            return false;
        printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(QString::fromStdString(pdfPath));
        return true;
    }
    void about(QWidget*) override { ++abouts; }

    std::deque<TransformAnswer> transforms;
    std::deque<AxisAnswer> axisTypes;
    std::vector<TransformChoice> shownTransform;
    std::vector<int> shownAxisType;
    std::string pdfPath;  // empty: the print setup is cancelled
    int printSetups = 0;
    int abouts = 0;
};

} // namespace nosk::test
