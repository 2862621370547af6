#pragma once

#include <QString>
#include <QVariantList>

// What the filter bar asks of the history's list, as a condition on its table.
struct RequestFilter {
    // Free text, looked for in the path, the heads and the inline bodies.
    QString text;
    QString method;
    // 0 for any status, 1 to 5 for 1xx to 5xx.
    int statusClass = 0;
    QString link;
    QString visitor;

    // A condition for a WHERE clause ("1" when nothing is asked), its values appended to `binds`.
    QString condition(QVariantList& binds) const;
};
