#pragma once

#include <QLabel>
#include <QWidget>

#include <array>
#include <functional>
#include <string>

class QComboBox;
class QLineEdit;
class QScrollBar;

namespace nosk {

// A framed, centred text that reacts to a left-button press: stands in for a
// parameter's code list where the parameter selects a distributed element.
class CDELink : public QLabel {
    Q_OBJECT
public:
    explicit CDELink(QWidget* parent);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

public:
    std::function<QString()> tooltipText;
};

// The model parameter editor of the "Fitting options" page: 50 rows, two to
// a display row, each with its value and free/fixed code, six display rows
// visible, scrolled by a bar with the positions 1 to 20 and by the mouse
// wheel (which never changes a code). With its limits shown (showLimits),
// each parameter has a display row of its own with two more columns, its
// lower and upper limit (an empty box: no limit), and the bar has the
// positions 1 to 45. Each row's label names the parameter's role in the
// circuit in force ("p7 Qα", the whole role in its tooltip); a parameter
// the circuit does not use has a grey label and value.
class CParamEditor : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRows = 50;
    static constexpr int kVisibleRows = 6;

    explicit CParamEditor(QWidget* parent);

    // Fills the rows: 1..rowsInUse enabled with P in "%.7E" and the NFREE
    // code; the DE links of the circuit letter replace the code lists.
    void set(const double* P, const int* NFREE, int rowsInUse, char fun);
    // Rows 1..rowsInUse back into P and NFREE (-1 when no code is selected).
    // A value that is not wholly a number throws nosk::exception "Wrong
    // number! %s"; P and NFREE may then be partly written.
    void read(double* P, int* NFREE) const;
    // Every row's value text and code as shown, for telling a changed job.
    QString stateText() const;
    // The limit boxes of all 50 rows from LOWER and UPPER (infinite: empty).
    void setLimits(const double* LOWER, const double* UPPER);
    // Rows 1..rowsInUse back into LOWER and UPPER: an empty box is no limit
    // (-infinity, +infinity). Throws like read; then nothing is written.
    void readLimits(double* LOWER, double* UPPER) const;
    // The two-to-a-row view, or one row a parameter with its limits.
    void showLimits(bool shown);
    bool limitsShown() const { return m_limitsShown; }

    int rowsInUse() const { return m_rowsInUse; }

    // The DE link's label of parameter k (1..50) for a circuit; empty when none.
    static std::string placement(char fun, int k);
    // The same for the circuit definition in force for `fun` (its text in the
    // circuit language): the built-in definitions keep the table's labels,
    // any other definition gets DE1, DE2, ... at its DE(...) selectors.
    static std::string placement(char fun, int k, const std::string& definition);
    // The definition of `fun` in force in the current (work) folder: the
    // folder's CIRCUITS file, else the built-in one. `error` receives the
    // reason when CIRCUITS cannot be used (the built-in one is then returned).
    static std::string definitionInForce(char fun, std::string* error = nullptr);
    // Moves the DE links and the names to the circuit `fun` without touching
    // the values.
    void setCircuit(char fun);
    // The role of parameter k (1..50) in the circuit in force, "Q (alpha)";
    // empty when the circuit does not use it or its definition is unknown.
    std::string role(int k) const { return m_roles[std::size_t(k - 1)]; }
    // Whether the circuit in force uses parameter k (true for all when its
    // definition cannot be read).
    bool used(int k) const { return m_used[std::size_t(k - 1)]; }
    // A role as a row's label shows it after the number: "Q (alpha)" is
    // "Qα", "DE (R)" "DE R", "DE selector" "DE"; the first of several roles
    // with "+".
    static QString shortRole(const std::string& role);

    // Access for the page and for tests (k counted from 1).
    QLineEdit* valueBox(int k) const { return m_rows[std::size_t(k - 1)].value; }
    QComboBox* codeList(int k) const { return m_rows[std::size_t(k - 1)].code; }
    CDELink* deLink(int k) const { return m_rows[std::size_t(k - 1)].link; }
    QLineEdit* lowerBox(int k) const { return m_rows[std::size_t(k - 1)].lower; }
    QLineEdit* upperBox(int k) const { return m_rows[std::size_t(k - 1)].upper; }
    QLabel* label(int k) const { return m_rows[std::size_t(k - 1)].label; }
    QScrollBar* scrollBar() const { return m_scroll; }
    // Tooltip of the DE link of row k: the title of the DE its value names.
    QString linkTooltip(int k) const;
    // Clicking the DE link of row k (does nothing while its value box is disabled).
    void clickLink(int k);
    // The first and last parameter shown at the current scroll position.
    int firstVisibleParam() const;
    int lastVisibleParam() const;

protected:
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Row {
        QLabel* label = nullptr;
        QLineEdit* value = nullptr;
        QComboBox* code = nullptr;
        CDELink* link = nullptr;
        QLineEdit* lower = nullptr;
        QLineEdit* upper = nullptr;
    };

    void scrollTo(int position);
    void placeLinks(char fun, const int* NFREE);
    // The labels' names and grey rows from the circuit's definition.
    void nameRows(const std::string& definition);
    // Geometry of every row for the view shown.
    void placeRows();
    int lastPosition() const { return m_limitsShown ? kRows - kVisibleRows + 1 : 20; }
    // Rows with a limit say so in their label's tooltip (and colour).
    void markLimitedRows();

    std::array<Row, kRows> m_rows;
    std::array<std::string, kRows> m_placement;
    std::array<std::string, kRows> m_roles;
    std::array<bool, kRows> m_used{};
    int m_wheelAngle = 0;  // eighths of a degree not yet scrolled
    int m_rowsInUse = 0;
    int m_rowHeight = 0;
    int m_labelWidth = 0, m_valueWidth = 0, m_codeWidth = 0, m_columnWidth = 0;
    int m_position = 1;
    bool m_limitsShown = false;
    QWidget* m_content = nullptr;
    QScrollBar* m_scroll = nullptr;
};

} // namespace nosk
