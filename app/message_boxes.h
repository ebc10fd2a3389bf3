#pragma once
// The program's two kinds of message box, behind one seam that tests answer.

#include <QString>

#include <functional>

class QWidget;

namespace quillar {

enum class MessageKind {
    Confirm,  // the shell's messages: caption "Confirm", question icon, one "OK"
    Error,    // errors that escaped a handler: caption = application title
    Question, // an offer: caption "Confirm", question icon, "Yes" and "No"
};

struct MessageRecord {
    MessageKind kind;
    QString caption;
    QString text;
};

// When set, every message goes to the hook instead of a modal box.
using MessageHook = std::function<void(const MessageRecord&)>;
void SetMessageHook(MessageHook hook);

void ShowConfirmMessage(QWidget* parent, const QString& text);
// True when the user answers "Yes". With a message hook set, the hook sees
// the question and the answer comes from the question hook (none: "No").
bool AskQuestion(QWidget* parent, const QString& text);
using QuestionHook = std::function<bool(const MessageRecord&)>;
void SetQuestionHook(QuestionHook hook);
void ShowErrorMessage(const QString& text);

// An error that escaped what the shell was doing: logged in quillar.shell and
// shown in the error box. The program goes on.
void ReportError(const QString& text);

// Runs an event handler; an error it raises goes to ReportError.
void ReportErrors(const std::function<void()>& handler);

} // namespace quillar
