#include "app/message_boxes.h"

#include "app/shell_log.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

namespace quillar {

namespace {
MessageHook& Hook() {
    static MessageHook hook;
    return hook;
}

QuestionHook& Question() {
    static QuestionHook hook;
    return hook;
}

void Show(QWidget* parent, const MessageRecord& message, QMessageBox::Icon icon) {
    if (Hook()) {
        Hook()(message);
        return;
    }
    QMessageBox box(icon, message.caption, message.text, QMessageBox::Ok, parent);
    box.exec();
}
} // namespace

void SetMessageHook(MessageHook hook) {
    Hook() = std::move(hook);
}

void ShowConfirmMessage(QWidget* parent, const QString& text) {
    Show(parent, {MessageKind::Confirm, QStringLiteral("Confirm"), text}, QMessageBox::Question);
}

bool AskQuestion(QWidget* parent, const QString& text) {
    const MessageRecord message{MessageKind::Question, QStringLiteral("Confirm"), text};
    if (Hook()) {
        Hook()(message);
        return Question() && Question()(message);
    }
    QMessageBox box(QMessageBox::Question, message.caption, message.text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void SetQuestionHook(QuestionHook hook) {
    Question() = std::move(hook);
}

void ShowErrorMessage(const QString& text) {
    Show(QApplication::activeWindow(),
         {MessageKind::Error, QApplication::applicationDisplayName(), text}, QMessageBox::Critical);
}

void ReportError(const QString& text) {
    qCCritical(lcShell, "%s", qUtf8Printable(text));
    ShowErrorMessage(text);
}

void ReportErrors(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ReportError(QString::fromUtf8(error.what()));
    }
}

} // namespace quillar
