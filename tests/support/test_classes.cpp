#include "test_classes.h"

#include <QByteArray>
#include <QList>
#include <QMetaMethod>
#include <QTest>

#include <cstdio>

namespace quillar::test {

namespace {

// What Qt Test runs of a class: its private slots without arguments, less the
// _data functions and the four that frame the tests.
QList<QByteArray> TestFunctions(const QObject& object) {
    QList<QByteArray> names;
    const QMetaObject* meta = object.metaObject();
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        const QByteArray name = method.name();
        if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Private ||
            method.parameterCount() != 0 || method.returnType() != QMetaType::Void ||
            name.endsWith("_data") || name == "initTestCase" || name == "cleanupTestCase" ||
            name == "init" || name == "cleanup") {
            continue;
        }
        names.append(name);
    }
    return names;
}

// The class name without its namespace, as ctest names the tests.
QByteArray ClassName(const QObject& object) {
    const QByteArray full(object.metaObject()->className());
    const qsizetype scope = full.lastIndexOf("::");
    return scope < 0 ? full : full.mid(scope + 2);
}

// "function" of "function:tag"
QByteArray FunctionOf(const QByteArray& selector) {
    const qsizetype colon = selector.indexOf(':');
    return colon < 0 ? selector : selector.left(colon);
}

// Qt Test options whose value is the next argument, which is no test name.
bool TakesValue(const QByteArray& option) {
    static const QList<QByteArray> withValue = {
        "-o",        "-maxwarnings", "-eventdelay", "-keydelay",     "-mousedelay",  "-seed",
        "-platform", "-iterations",  "-median",     "-minimumvalue", "-minimumtotal"};
    return withValue.contains(option);
}

struct Selection {
    bool whole = false;
    std::vector<char*> functions; // "function" or "function:tag", as Qt Test takes them
};

} // namespace

int RunTestClasses(const std::vector<std::unique_ptr<QObject>>& classes, int argc, char** argv) {
    std::vector<QByteArray> names;
    std::vector<QList<QByteArray>> functions;
    for (const auto& testClass : classes) {
        names.push_back(ClassName(*testClass));
        functions.push_back(TestFunctions(*testClass));
    }
    const auto classIndex = [&](const QByteArray& name) -> int {
        for (std::size_t c = 0; c < names.size(); ++c) {
            if (names[c] == name)
                return static_cast<int>(c);
        }
        return -1;
    };

    std::vector<char*> options;
    std::vector<Selection> chosen(classes.size());
    bool selected = false;
    bool list = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--list") {
            list = true;
        } else if (arg.startsWith('-')) {
            options.push_back(argv[i]);
            if (TakesValue(arg) && i + 1 < argc)
                options.push_back(argv[++i]);
        } else if (const qsizetype scope = arg.indexOf("::"); scope >= 0) {
            const int c = classIndex(arg.left(scope));
            if (c < 0) {
                std::fprintf(stderr, "No test class %s\n", arg.left(scope).constData());
                return 2;
            }
            const QByteArray function = FunctionOf(arg.mid(scope + 2));
            if (function.isEmpty()) {
                chosen[c].whole = true;
            } else if (functions[c].contains(function)) {
                chosen[c].functions.push_back(argv[i] + scope + 2);
            } else {
                std::fprintf(stderr, "%s has no test function %s\n", names[c].constData(),
                             function.constData());
                return 2;
            }
            selected = true;
        } else if (const int c = classIndex(arg); c >= 0) {
            chosen[c].whole = true;
            selected = true;
        } else {
            bool found = false;
            for (std::size_t c = 0; c < classes.size(); ++c) {
                if (functions[c].contains(FunctionOf(arg))) {
                    chosen[c].functions.push_back(argv[i]);
                    found = true;
                }
            }
            if (!found) {
                std::fprintf(stderr, "No test class has a test function %s\n",
                             FunctionOf(arg).constData());
                return 2;
            }
            selected = true;
        }
    }

    if (list) {
        for (std::size_t c = 0; c < classes.size(); ++c) {
            for (const QByteArray& function : functions[c])
                std::printf("%s::%s\n", names[c].constData(), function.constData());
        }
        return 0;
    }

    int failed = 0;
    for (std::size_t c = 0; c < classes.size(); ++c) {
        const Selection& selection = chosen[c];
        if (selected && !selection.whole && selection.functions.empty())
            continue;
        std::vector<char*> args{argv[0]};
        args.insert(args.end(), options.begin(), options.end());
        if (!selection.whole)
            args.insert(args.end(), selection.functions.begin(), selection.functions.end());
        failed += QTest::qExec(classes[c].get(), static_cast<int>(args.size()), args.data()) != 0;
    }
    return failed;
}

} // namespace quillar::test
