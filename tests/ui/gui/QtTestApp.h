// The one QApplication of a GUI test program (made on first use, kept for the
// program's life), mouse and key event helpers, and a bounded wait that keeps
// the event loop running.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QThread>
#include <QWidget>

#include <functional>

namespace quenloft::testing {

inline QApplication& QtApp()
{
  static int Argc = 1;
  static char Name[] = "quenloft-gui-test";
  static char* Argv[] = {Name, nullptr};
  static QApplication* Application = new QApplication(Argc, Argv);
  return *Application;
}

// Makes sure of the QApplication; a fixture holds one before its widgets.
struct QtAppGuard {
  QtAppGuard() { QtApp(); }
};

// Runs the event loop until Done() holds or TimeoutMs passes; returns Done().
inline bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs = 10000)
{
  QElapsedTimer Clock;
  Clock.start();
  while (!Done()) {
    if (Clock.elapsed() > TimeoutMs)
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

inline void SendMouse(QWidget& W, QEvent::Type Type, QPoint Pos, Qt::MouseButton Button,
                      Qt::MouseButtons Held = Qt::NoButton)
{
  QMouseEvent Event{Type, QPointF(Pos), QPointF(W.mapToGlobal(Pos)), Button, Held, Qt::NoModifier};
  QApplication::sendEvent(&W, &Event);
}

inline void Press(QWidget& W, QPoint Pos, Qt::MouseButton Button = Qt::LeftButton)
{
  SendMouse(W, QEvent::MouseButtonPress, Pos, Button, Button);
}

inline void Release(QWidget& W, QPoint Pos, Qt::MouseButton Button = Qt::LeftButton)
{
  SendMouse(W, QEvent::MouseButtonRelease, Pos, Button, Qt::NoButton);
}

inline void Enter(QWidget& W, QPoint Pos = {1, 1})
{
  QEnterEvent Event{QPointF(Pos), QPointF(Pos), QPointF(W.mapToGlobal(Pos))};
  QApplication::sendEvent(&W, &Event);
}

inline void Leave(QWidget& W)
{
  QEvent Event(QEvent::Leave);
  QApplication::sendEvent(&W, &Event);
}

inline void PressKey(QWidget& W, int Key)
{
  QKeyEvent Event(QEvent::KeyPress, Key, Qt::NoModifier);
  QApplication::sendEvent(&W, &Event);
}

} // namespace quenloft::testing
