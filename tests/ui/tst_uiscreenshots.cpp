#include <QtTest>
class TstUiScreenshots : public QObject { Q_OBJECT };
QTEST_MAIN(TstUiScreenshots)
#include "tst_uiscreenshots.moc"
