#include "page_script.h"

#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <memory>
#include <utility>

namespace quillar::test {

QVariant RunPageScript(QWebEnginePage* page, const QString& script, int timeoutMs) {
    // Shared: the answer may come after a failed wait has returned.
    auto state = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
    page->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                        [state](const QVariant& result) {
                            *state = {true, result};
                        });
    if (!QTest::qWaitFor([&] { return state->first; }, timeoutMs)) {
        qWarning("no answer from the page to: %s", qPrintable(script.left(200)));
        return {};
    }
    return state->second;
}

} // namespace quillar::test
