// Windows ends a GUI program by closing its windows (WM_CLOSE, and
// WM_ENDSESSION at a logout), which Qt turns into close events already: there
// are no stop signals to take over.
#include "app/stop_signals.h"

#include <QSocketNotifier>

namespace quillar {

TStopSignals::TStopSignals(QObject* parent) : QObject(parent) {}

TStopSignals::~TStopSignals() = default;

void TStopSignals::Drain() {}

} // namespace quillar
