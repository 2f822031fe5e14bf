#pragma once

#include <QtGlobal>

namespace ordisp {

// The main window's way to the table detail window, kept abstract so that neither window's
// library depends on the other. The main window calls Init first, then showDetail.
class TableDetailOpener {
public:
    virtual ~TableDetailOpener() = default;

    // Only stores the table number; an open detail window keeps showing its table.
    virtual void Init(qint16 nTisch1) = 0;
    // Shows the one detail window without blocking, loading it first when it is not loaded.
    virtual void showDetail() = 0;
};

} // namespace ordisp
