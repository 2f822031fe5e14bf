#pragma once

#include "MessageSink.h"

namespace ordisp {

// Shows each message as a modal QMessageBox titled "Ordisp", with icon and buttons by style.
class QtMessageSink final : public MessageSink {
protected:
    int present(int style, const QString& text) override;
};

} // namespace ordisp
