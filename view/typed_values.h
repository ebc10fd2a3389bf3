#pragma once
// What the user typed into a report page, carried over to the page that
// replaces it: the values of its input boxes and the scroll position.
//
// Boxes are matched by id; boxes without an id by their position among the
// boxes without one (the template page's boxes have no id). Only values that
// differ from the page's own default are kept, so that a default the new page
// brings (e.g. a date) is not overwritten by an untouched old one.

#include <QJsonObject>
#include <QString>
#include <QVariant>

namespace quillar {

class TTypedValues {
public:
    // A call for the application's world of a document the view shows (its
    // function comes from the view's typed_values.js) that returns, as a
    // JSON string, the typed values and the scroll position of the page.
    static QString CaptureScript();

    // Takes in the result of CaptureScript: the boxes it names replace the
    // kept ones, others stay; the scroll position is replaced. A result that
    // is not such a JSON string is ignored.
    void Merge(const QVariant& captured);

    // A call for the application's world of a document the view shows that
    // puts the kept values back into the boxes of the page and restores the
    // scroll position.
    QString RestoreScript() const;

    // Replaces everything kept by a result of CaptureScript (a box back at
    // its default is then forgotten); a result that is not one is ignored.
    void Replace(const QVariant& captured);

    // What is kept, as CaptureScript's JSON.
    QString ToJson() const;

    bool IsEmpty() const;
    void Clear();

private:
    QJsonObject fields_;
    double scrollX_ = 0;
    double scrollY_ = 0;
};

} // namespace quillar
