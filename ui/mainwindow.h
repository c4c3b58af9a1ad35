#pragma once

#include <QMainWindow>

namespace Ui {
class MainWindow;
}

/**
 * The program's one top-level window. For now it holds only the menu bar
 * with File > Exit and the empty details pane; the device views hang on it
 * later.
 */
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    /**
     * Loads the configuration file into the window (device, geometry, alert
     * switches). Returns whether the file existed. Nothing is stored yet.
     */
    bool loadConfiguration();

public slots:
    /** Enables and disables the actions for the current selection. */
    void handleAllEnables();
    /** Closes the window, which ends the event loop. */
    void exit();

private:
    Ui::MainWindow *m_ui;
};
