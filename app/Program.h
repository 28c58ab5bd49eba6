#pragma once

#include "app/Form1.h"
#include "commands/CommandContext.h"
#include "commands/CommandRunner.h"
#include "commands/StatusPanel.h"
#include "image/ImageDialog.h"
#include "link/DeviceProtocol.h"
#include "link/PacingTimer.h"
#include "link/SerialLink.h"
#include "link/Waiter.h"
#include "platform/QtFileDialog.h"
#include "platform/QtMessageBox.h"
#include "platform/QtMessagePump.h"
#include "platform/QtSerialControl.h"
#include "platform/QtTickSource.h"

namespace tavrin {

// The whole program wired on Qt: the platform back-ends, the device link, the commands and Form1.
class Program {
public:
    // Tests and the benchmark may answer the dialogs themselves.
    struct Options {
        QtSerialControl::PortResolver resolver;
        FileDialog* fileDialog = nullptr;
        MessageBox* messageBox = nullptr;
    };

    Program();
    explicit Program(Options options);

    Form1& window() { return m_form; }
    CommandRunner& runner() { return m_runner; }
    StatusPanel& panel() { return m_panel; }
    SerialLink& link() { return m_link; }
    QtTickSource& timer1() { return m_timer1; }

private:
    QtMessagePump m_pump;
    QtTickSource m_timer1;
    QtSerialControl m_MSComm1;
    QtFileDialog m_CommonDialog1;
    QtMessageBox m_messages;
    // Bound before anything below takes them.
    FileDialog& m_files;
    MessageBox& m_shownMessages;
    Waiter m_waiter{m_pump};
    PacingTimer m_pacing{m_timer1, m_waiter};
    SerialLink m_link{m_MSComm1, m_pacing, m_shownMessages};
    DeviceProtocol m_protocol{m_link, m_waiter};
    ImageDialog m_dialog{m_files};
    StatusPanel m_panel;
    CommandContext m_context{m_link,   m_protocol,      m_pacing, m_waiter,
                             m_dialog, m_shownMessages, m_panel};
    CommandRunner m_runner{m_context};
    Form1 m_form{m_runner, m_panel};
};

} // namespace tavrin
