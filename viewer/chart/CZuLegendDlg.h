#pragma once

#include "CZuHelpDialog.h"

#include <QWidget>

#include <cstdint>

class QLabel;
class QPushButton;

namespace nosk {

// One line of the legend: what a trace shows, in its colour and style.
struct LegendEntry {
    QString name;
    std::uint32_t color = 0;   // red in the low byte
    int style = 0;             // TraceStyle bits
};

// The sample window of a legend entry: the trace's markers at three places
// and its line through them.
class CZuLegendSample : public QWidget {
    Q_OBJECT
public:
    explicit CZuLegendSample(QWidget* parent);
    void setEntry(const LegendEntry* entry);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const LegendEntry* m_entry = nullptr;
};

// "Graph Legend": two text lines and up to two entries. Its result code is
// kLegendPrintResult (10001) for "Print graph..." and Rejected for Cancel.
class CZuLegendDlg : public CZuHelpDialog {
    Q_OBJECT
public:
    explicit CZuLegendDlg(QWidget* parent = nullptr);

    void setLines(const QString& first, const QString& second);
    // Ignored once two entries exist.
    void AddEntry(const QString& name, std::uint32_t color, int style);
    int entryCount() const { return m_count; }

    QLabel* lineLabel(int i) const { return m_lines[i]; }
    QLabel* nameLabel(int i) const { return m_names[i]; }
    CZuLegendSample* sample(int i) const { return m_samples[i]; }
    QPushButton* printButton() const { return m_print; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QString m_first;
    QString m_second;
    int m_count = 0;
    LegendEntry m_entries[2];
    QLabel* m_lines[2];
    QLabel* m_names[2];
    CZuLegendSample* m_samples[2];
    QPushButton* m_print;
};

} // namespace nosk
