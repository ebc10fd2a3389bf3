#include "view/view_scripts.h"

#include "view/view_log.h"
#include "view/view_style.h"

#include <QFile>
#include <QStringList>
#include <QWebEngineScript>

#include <mutex>

// Outside any namespace: the macro declares the resource's own initializer.
// The view is a static library, so nothing else would pull its resources into
// the program.
static void InitViewScriptResources() {
    Q_INIT_RESOURCE(view_scripts);
}

namespace quillar {

namespace {

// The scripts that define the view's functions, each injected on its own.
const char* const kScripts[] = {"page_update.js", "typed_values.js", "view_style.js"};

void RegisterResources() {
    static std::once_flag once;
    std::call_once(once, [] {
        InitViewScriptResources();
        qCDebug(lcView, "The view's page scripts are registered under :/quillar/view/scripts");
    });
}

QWebEngineScript DocumentScript(const QString& name, const QString& source) {
    QWebEngineScript script;
    script.setName(QStringLiteral("quillar-") + name);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(source);
    return script;
}

} // namespace

QString ViewScriptSource(const QString& name) {
    RegisterResources();
    QFile file(QStringLiteral(":/quillar/view/scripts/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qCCritical(lcView,
                   "The view's script %s is missing from its resources: every call of its "
                   "functions fails",
                   qUtf8Printable(name));
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

QList<QWebEngineScript> ViewDocumentScripts() {
    QList<QWebEngineScript> scripts;
    for (const char* name : kScripts) {
        QString source = ViewScriptSource(QString::fromLatin1(name));
        if (source.isEmpty()) {
            continue;
        }
        // The style sheet is adopted by the same script that defines the
        // function, so that the order of injection does not matter.
        if (QLatin1String(name) == QLatin1String("view_style.js")) {
            source += QLatin1Char('\n') + AdoptViewStyleScript();
        }
        scripts.append(DocumentScript(QString::fromLatin1(name), source));
    }
    return scripts;
}

} // namespace quillar
