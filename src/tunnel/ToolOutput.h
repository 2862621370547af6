#pragma once

#include <QString>
#include <QStringList>

// Runs a short system tool and returns its standard output as UTF-8 text; the empty text when it
// cannot be launched, when its output is not UTF-8, or when it overruns its time limit (it is
// then killed). Blocks the calling thread until the tool has exited.
QString toolOutput(const QString& executable, const QStringList& arguments);
