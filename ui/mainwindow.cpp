#include "mainwindow.h"

#include "ui_mainwindow.h"

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_ui(new Ui::MainWindow)
{
    m_ui->setupUi(this);
    connect(m_ui->actionExit, &QAction::triggered, this, &MainWindow::exit);
}

MainWindow::~MainWindow()
{
    delete m_ui;
}

bool MainWindow::loadConfiguration()
{
    // The configuration file is read by the summary pane, which is not here yet.
    return false;
}

void MainWindow::handleAllEnables()
{
    // No device views yet, so there is nothing to enable or disable.
}

void MainWindow::exit()
{
    close();
}
