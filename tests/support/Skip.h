#pragma once

#include <QTest>

// How a test says it cannot run here. A skipped executable exits with 77, which ctest reports as "Skipped"
// (never "Passed"); under CI (CI=true, root, X, sound and namespaces available) every test must run, so a
// skip there is a failure.
namespace kwtest {
bool& skipped();
bool underCi();
int finish(int rc); // 77 when the run passed but something was skipped
} // namespace kwtest

#define KW_SKIP(reason)                                                                                                \
    do {                                                                                                               \
        if (kwtest::underCi())                                                                                         \
            QFAIL(qPrintable(QStringLiteral("would skip under CI: ") + QString::fromUtf8(reason)));                    \
        kwtest::skipped() = true;                                                                                      \
        QSKIP(reason);                                                                                                 \
    } while (false)

#define KW_TEST_MAIN_WITH(AppType, TestObject)                                                                         \
    int main(int argc, char* argv[])                                                                                   \
    {                                                                                                                  \
        AppType app(argc, argv);                                                                                       \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        TestObject tc;                                                                                                 \
        return kwtest::finish(QTest::qExec(&tc, argc, argv));                                                          \
    }

// KW_TEST_MAIN for tests of widgets (QApplication), KW_TEST_GUILESS_MAIN for the rest.
#define KW_TEST_GUILESS_MAIN(TestObject) KW_TEST_MAIN_WITH(QCoreApplication, TestObject)
#ifdef QT_WIDGETS_LIB
#include <QApplication>
#define KW_TEST_MAIN(TestObject) KW_TEST_MAIN_WITH(QApplication, TestObject)
#elif defined(QT_GUI_LIB)
#include <QGuiApplication>
#define KW_TEST_MAIN(TestObject) KW_TEST_MAIN_WITH(QGuiApplication, TestObject)
#else
#define KW_TEST_MAIN(TestObject) KW_TEST_MAIN_WITH(QCoreApplication, TestObject)
#endif
