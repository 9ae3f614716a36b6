// First display on a real X server (Xvfb), kept as an artifact: build/artifacts/first_display.png.
#include "entry.h"
#include "main_icon.h"
#include "main_window.h"
#include "pty.h"

#include <QCoreApplication>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <filesystem>
#include <gtest/gtest.h>

#ifndef ARTIFACT_DIR
#error ARTIFACT_DIR must name where the screenshot goes
#endif

TEST(FirstDisplay, Screenshot) {
    if (qEnvironmentVariable("QT_QPA_PLATFORM") != "xcb") GTEST_SKIP() << "needs an X server";
    int argc = 1;
    char name[] = "quorvane";
    char* argv[] = {name, nullptr};
    TApplication app(argc, argv);
    app.SetIcon(MainIcon());
    std::filesystem::create_directories(ARTIFACT_DIR);
    const std::string path = std::string(ARTIFACT_DIR) + "/first_display.png";
    bool saved = false;
    QString family;
    // Once the window is on the screen, photograph it and close it: the loop then ends.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!F1 || !F1->Widget()->windowHandle() || !F1->Widget()->windowHandle()->isExposed())
            return;
        poll.stop();
        QWidget* w = F1->Widget();
        family = QFontInfo(w->font()).family();
        QPixmap shot = w->screen()->grabWindow(0, w->geometry().x(), w->geometry().y(), w->width(),
                                               w->height());
        saved = shot.save(QString::fromStdString(path));
        // The top row, three times as large, to judge the controls' fit by eye; then again
        // with the widest token the field takes.
        auto topRow = [&](const char* file) {
            QPixmap row =
                w->screen()->grabWindow(0, w->geometry().x(), w->geometry().y(), w->width(), 22);
            row.scaled(w->width() * 3, 66)
                .save(QString::fromStdString(std::string(ARTIFACT_DIR) + "/" + file));
        };
        topRow("top_row_x3.png");
        F1->Ed2->SetText("WWWW");
        QCoreApplication::processEvents();
        w->repaint();
        topRow("top_row_wide_token_x3.png");
        w->close();
    });
    poll.start(50);
    EXPECT_EQ(ProgramEntry(F1), 0);
    EXPECT_TRUE(saved) << path;
    EXPECT_EQ(family, "IPAPGothic") << "the stored font maps to a Japanese Gothic";
    F1 = nullptr;
}
