// Two small Qt Test classes run through RunTestClasses, for the checks in
// CMakeLists.txt on what a command line selects. Each function passes unless
// it is the one meant to fail; what ran is read from Qt Test's PASS lines.

#include "test_classes.h"

#include <QCoreApplication>
#include <QTest>

#include <memory>
#include <vector>

namespace {

class AlphaTest : public QObject {
    Q_OBJECT
public slots:
    void notATest() {} // a public slot is not a test function
private slots:
    void one() { QCOMPARE(1 + 1, 2); }
    void shared() { QCOMPARE(QByteArray(metaObject()->className()), QByteArray("AlphaTest")); }
    void withRows_data() {
        QTest::addColumn<int>("value");
        QTest::newRow("a") << 1;
        QTest::newRow("b") << 2;
    }
    void withRows() {
        QFETCH(int, value);
        QVERIFY(value > 0);
    }
};

class BetaTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {}
    void shared() { QCOMPARE(QByteArray(metaObject()->className()), QByteArray("BetaTest")); }
    void failing() { QFAIL("meant to fail"); }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::unique_ptr<QObject>> classes;
    classes.push_back(std::make_unique<AlphaTest>());
    classes.push_back(std::make_unique<BetaTest>());
    return quillar::test::RunTestClasses(classes, argc, argv);
}

#include "test_classes_check.moc"
