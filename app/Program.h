#pragma once

#include "app/Form1.h"
#include "app/WindowMessages.h"
#include "commands/Engine.h"
#include "platform/QtFileDialog.h"
#include "platform/QtMessageBox.h"
#include "platform/QtMessagePump.h"
#include "platform/QtSerialControl.h"
#include "platform/QtTickSource.h"

namespace tavrin {

// The window program: the engine on Qt's platform parts, and Form1 on the engine.
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
    Engine& engine() { return m_engine; }
    CommandRunner& runner() { return m_engine.runner(); }
    StatusPanel& panel() { return m_panel; }
    SerialLink& link() { return m_engine.link(); }
    WindowMessages& messages() { return m_messages; }
    QtTickSource& timer1() { return m_timer1; }

private:
    QtMessagePump m_pump;
    QtTickSource m_timer1;
    QtSerialControl m_MSComm1;
    QtFileDialog m_CommonDialog1;
    QtMessageBox m_messageBoxes;
    MessageBox& m_boxes;
    // Made before the engine, which asks it its questions; it words the engine's results.
    WindowMessages m_messages;
    Engine m_engine;
    StatusPanel m_panel;
    Form1 m_form;
};

} // namespace tavrin
