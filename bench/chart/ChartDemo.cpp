// Shows two graphs, one on logarithmic and one on linear axes, for looking
// at spacing and labels by eye: chart_demo [seconds] (0 = until closed).
#include "CZuAxis.h"
#include "CZuAxisLabel.h"
#include "CZuGraph.h"
#include "CZuSquareGraph.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <vector>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 0;
    const int n = 60;
    std::vector<double> f(n), re(n), im(n), mre(n), mim(n), mag(n), mmag(n), ph(n);
    for (int i = 0; i < n; ++i) {
        f[i] = std::pow(10.0, -1.7 + 6.2 * i / (n - 1));
        // R0 + R1 / (1 + j w R1 C)
        const double w = f[i], R0 = 12, R1 = 350, C = 2e-4;
        const double a = w * R1 * C;
        mre[i] = R0 + R1 / (1 + a * a);
        mim[i] = R1 * a / (1 + a * a);
        re[i] = mre[i] * (1 + 0.03 * std::sin(3.0 * i));
        im[i] = mim[i] * (1 + 0.03 * std::cos(2.0 * i));
        mag[i] = std::hypot(re[i], im[i]);
        mmag[i] = std::hypot(mre[i], mim[i]);
        ph[i] = -std::atan2(im[i], re[i]) * 180 / M_PI;
    }
    QWidget page;
    page.setWindowTitle(QStringLiteral("chart demo"));
    page.resize(1260, 880);

    nosk::CZuGraph logGraph;
    logGraph.axisX()->logScale() = 1;
    logGraph.axisY()->logScale() = 1;
    logGraph.Create(QRect(10, 10, 610, 420), &page, 12, 0, 1);
    logGraph.AddTrace(f.data(), mag.data(), n, 2, 255);
    logGraph.AddTrace(f.data(), mmag.data(), n, 1, 0xFF0000);
    logGraph.UpdateRanges();
    logGraph.axisX()->GetTitleWindow()->setText(QStringLiteral("Angular frequency, rad/s"));
    logGraph.axisY()->GetTitleWindow()->setText(QStringLiteral("Impedance, magnitude"));
    logGraph.show();

    nosk::CZuGraph linGraph;
    linGraph.axisX()->logScale() = 1;
    linGraph.Create(QRect(10, 440, 610, 420), &page, 13, 0, 1);
    linGraph.AddTrace(f.data(), ph.data(), n, 3, 255);
    linGraph.AddTrace(f.data(), ph.data(), n, 13, 0x008000);
    linGraph.UpdateRanges();
    linGraph.axisX()->GetTitleWindow()->setText(QStringLiteral("Angular frequency, rad/s"));
    linGraph.axisY()->GetTitleWindow()->setText(QStringLiteral("Impedance, angle, degree"));
    linGraph.show();

    nosk::CZuSquareGraph square;
    square.showLegendButton() = 1;
    square.Create(QRect(640, 10, 600, 560), &page, 12, 0, 0);
    square.AddTrace(re.data(), im.data(), n, 2, 255);
    square.AddTrace(mre.data(), mim.data(), n, 1, 0xFF0000);
    square.UpdateRanges();
    square.axisX()->GetTitleWindow()->setText(QStringLiteral("real"));
    square.axisY()->GetTitleWindow()->setText(QStringLiteral("-imag"));
    square.show();

    page.show();
    // "M" as second argument: the first graph enlarged over the page.
    if (argc > 2 && QString::fromLatin1(argv[2]) == QLatin1String("M")) {
        logGraph.SetPositions(logGraph.geometry(), QRect(10, 10, 1240, 860));
        logGraph.raise();
        logGraph.onEnlarge();
    }
    if (seconds > 0)
        QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    return app.exec();
}
