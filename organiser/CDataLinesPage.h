#pragma once

#include "ui/CJobPage.h"

#include <QStringList>

#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace nosk {

class CZuGrid;
class CZuGridModel;
class Prompt;

// "Data lines": the count M, whether M is written negative, what the first
// column means, and the grid of the data lines (and weights while IRCH is 0).
// Grid edits go straight into the job's arrays.
class CDataLinesPage : public CJobPage {
    Q_OBJECT
public:
    CDataLinesPage(FitJob* job, Prompt& prompt, const QFont& bold, QWidget* parent = nullptr);
    ~CDataLinesPage() override;

    void LoadFromJob() override;
    [[nodiscard]] bool StoreToJob() override;

    // "Set" beside the M box.
    void setRowCount();

    // The shown column titles (3 or 5; empty while there is no grid).
    QStringList columnTitles() const { return m_titles; }
    CZuGrid* grid() const { return m_grid; }
    QLineEdit* mBox() const { return m_mBox; }
    QPushButton* setButton() const { return m_set; }
    QCheckBox* negativeBox() const { return m_negative; }
    QLabel* levelCaption() const { return m_caption; }
    QComboBox* firstColumnList() const { return m_firstColumn; }

public slots:
    void showLevelCaption();
    void renameColumns();
    void rebuild();

signals:
    void dataPointsChanged(int m);
    void celcapChanged(double celcap);

private:
    void firstColumnPicked(int index);
    void createGrid();
    void placeGrid();
    void applyColumnTitles();

    Prompt& m_prompt;
    QGroupBox* m_group;
    QLineEdit* m_mBox;
    QPushButton* m_set;
    QCheckBox* m_negative;
    QLabel* m_caption;
    QComboBox* m_firstColumn;
    CZuGrid* m_grid = nullptr;
    std::unique_ptr<CZuGridModel> m_model;
    QStringList m_titles;
};

} // namespace nosk
