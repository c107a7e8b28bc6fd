#pragma once

#include "cardargument.h"
#include "ptyboard.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class BenchWindow;
class Iso15693Tag;
class MainWindow;
class MifareClassicCard;
class PictureFolder;
class QAbstractButton;
class QLineEdit;
class QWidget;
struct AirExchange;

// A scripted first session on the application's window, on a virtual bench
// with the demo cards that runs in this process: connecting, the signal
// visualisation page with a request to the card, a type A identification
// with MIFARE authentication, read and write (and the lab sheet's reading
// of that authentication in the air log), and an ISO 15693 inventory of
// both tags with a block read and write. The window is driven as a user
// drives it, through its widgets by their object names; each step's result
// is checked where the user reads it (a field gone green, the data read)
// and against the cards themselves, so that the tour is also a test of the
// whole. After each page it takes a picture of the window on that page, and
// of the bench's window with its scope and air log.
class WindowTour
{
public:
    // `say` gets one line for each step done.
    WindowTour(PictureFolder &pictures, std::function<void(const QString &)> say);
    ~WindowTour();

    WindowTour(const WindowTour &) = delete;
    WindowTour &operator=(const WindowTour &) = delete;

    // Runs every step; false, with failure() saying what went wrong, at the
    // first step that did not give what it should.
    bool run();
    QString failure() const { return m_failure; }

private:
    void startBench();
    void connectToBench();
    void visitVisualisation();
    void visitTypeA();
    void followTheLabSheet();
    void visitVicinity();
    void showInventoryOnTheScope();

    QWidget *widget(const char *name) const;
    QAbstractButton *button(const char *name) const;
    QLineEdit *edit(const char *name) const;
    void click(const char *name) const;
    bool isGreen(const char *name) const;
    void showPage(const char *name) const;

    // The serial of the board's latest exchange on the air (0 before any),
    // once the board has acted on everything the window sent.
    quint64 latestExchange();
    AirExchange exchange(quint64 serial);
    // Lets the bench's window take in every exchange so far; bounded.
    void letTheBenchCatchUp();
    void takePicture(QWidget *window, const QString &name);

    PictureFolder &m_pictures;
    std::function<void(const QString &)> m_say;
    QString m_failure;

    std::vector<CardArgument::Parsed> m_cards;
    std::shared_ptr<MifareClassicCard> m_classic;
    std::vector<std::shared_ptr<Iso15693Tag>> m_tags;
    quint64 m_inventorySerial = 0;

    // Made in this order, destroyed in the reverse: the window lets go of
    // the port before its board stops.
    PtyBoard m_board;
    std::unique_ptr<BenchWindow> m_bench;
    std::unique_ptr<MainWindow> m_window;
};
