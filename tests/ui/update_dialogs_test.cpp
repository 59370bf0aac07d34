#include "ui/update_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <functional>
#include <string>
#include <thread>

namespace quorvel {
namespace {

// GBK bytes as the update check hands them over.
const std::string kOfferText = "\xb7\xa2\xcf\xd6\xd0\xc2\xb0\xe6:2.0\r\n<b>\xb8\xfc\xd0\xc2</b> &amp;";  // 发现新版:…
const std::string kOfferTitle = "\xd4\xda\xcf\xdf\xb8\xfc\xd0\xc2:";  // 在线更新:
const std::string kErrorText = "\xb7\xa2\xc9\xfa\xb4\xed\xce\xf3 ";   // 发生错误
const std::string kErrorTitle = "\xcf\xfb\xcf\xa2";                   // 消息

// What the box looked like while it was open.
struct SeenBox {
    bool found = false;
    bool hasParent = true;
    Qt::WindowModality modality = Qt::NonModal;
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
};

using Answer = std::function<void(QMessageBox&)>;

// Runs `show`, which blocks in the box's own event loop; a timer inside that loop finds the box as the
// active modal widget, records it and answers it. A box that never shows up is closed after a while so
// the test fails instead of hanging.
BoxAnswer ShowAndAnswer(const std::function<BoxAnswer()>& show, const Answer& answer, SeenBox& seen) {
    QTimer poller;
    int attempts = 0;
    QObject::connect(&poller, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            if (++attempts > 500) {
                poller.stop();
                for (QWidget* widget : QApplication::topLevelWidgets()) {
                    if (auto* stray = qobject_cast<QMessageBox*>(widget)) {
                        stray->done(-1);
                    }
                }
            }
            return;
        }
        poller.stop();
        seen.found = true;
        seen.hasParent = box->parentWidget() != nullptr;
        seen.modality = box->windowModality();
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.format = box->textFormat();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen.defaultButton = box->standardButton(box->defaultButton());
        seen.escapeButton = box->standardButton(box->escapeButton());
        answer(*box);
    });
    poller.start(10);
    return show();
}

Answer Click(QMessageBox::StandardButton which) {
    return [which](QMessageBox& box) { box.button(which)->click(); };
}
Answer Press(Qt::Key key) {
    return [key](QMessageBox& box) { QTest::keyClick(&box, key); };
}
Answer CloseBox() {
    return [](QMessageBox& box) { box.close(); };
}

TEST(UpdateDialogs, OfferBoxIsAPlainTextYesNoQuestionModalForTheWholeProgram) {
    QtMessageBoxes boxes;
    SeenBox seen;
    ShowAndAnswer([&] { return boxes.AskYesNo(kOfferText, kOfferTitle); }, Click(QMessageBox::No), seen);

    ASSERT_TRUE(seen.found);
    EXPECT_FALSE(seen.hasParent);
    EXPECT_EQ(seen.modality, Qt::ApplicationModal);
    EXPECT_EQ(seen.title, QString::fromUtf8("在线更新:"));
    EXPECT_EQ(seen.text, QString::fromUtf8("发现新版:2.0\n<b>更新</b> &amp;"));  // one line break per CR LF
    // Release notes from the network are never interpreted as markup.
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No));
    EXPECT_EQ(seen.defaultButton, QMessageBox::Yes);
    EXPECT_EQ(seen.escapeButton, QMessageBox::No);
}

TEST(UpdateDialogs, ErrorBoxIsAWarningWithOkOnly) {
    QtMessageBoxes boxes;
    SeenBox seen;
    ShowAndAnswer([&] { return boxes.ShowError(kErrorText, kErrorTitle); }, Click(QMessageBox::Ok), seen);

    ASSERT_TRUE(seen.found);
    EXPECT_FALSE(seen.hasParent);
    EXPECT_EQ(seen.modality, Qt::ApplicationModal);
    EXPECT_EQ(seen.title, QString::fromUtf8("消息"));
    EXPECT_EQ(seen.text, QString::fromUtf8("发生错误 "));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

struct AnswerRow {
    const char* name;
    bool offer;  // the offer box, else the error box
    Answer answer;
    BoxAnswer expected;
};

class UpdateDialogAnswers : public testing::TestWithParam<AnswerRow> {};

TEST_P(UpdateDialogAnswers, EveryWayOfClosingGivesItsAnswer) {
    const AnswerRow& row = GetParam();
    QtMessageBoxes boxes;
    SeenBox seen;
    const BoxAnswer answer = ShowAndAnswer(
        [&] { return row.offer ? boxes.AskYesNo(kOfferText, kOfferTitle) : boxes.ShowError(kErrorText, kErrorTitle); },
        row.answer, seen);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(answer, row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, UpdateDialogAnswers,
                         testing::Values(AnswerRow{"OfferYes", true, Click(QMessageBox::Yes), BoxAnswer::Yes},
                                         AnswerRow{"OfferNo", true, Click(QMessageBox::No), BoxAnswer::No},
                                         AnswerRow{"OfferEnterIsYes", true, Press(Qt::Key_Return), BoxAnswer::Yes},
                                         AnswerRow{"OfferEscapeIsNo", true, Press(Qt::Key_Escape), BoxAnswer::No},
                                         AnswerRow{"OfferCloseBoxIsNo", true, CloseBox(), BoxAnswer::No},
                                         AnswerRow{"ErrorOk", false, Click(QMessageBox::Ok), BoxAnswer::Ok},
                                         AnswerRow{"ErrorEscapeIsOk", false, Press(Qt::Key_Escape), BoxAnswer::Ok},
                                         AnswerRow{"ErrorCloseBoxIsOk", false, CloseBox(), BoxAnswer::Ok}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateDialogs, OffTheGuiThreadNoBoxIsShown) {
    QtMessageBoxes boxes;
    BoxAnswer offer = BoxAnswer::Yes;
    BoxAnswer error = BoxAnswer::Ok;
    std::thread worker([&] {
        offer = boxes.AskYesNo(kOfferText, kOfferTitle);
        error = boxes.ShowError(kErrorText, kErrorTitle);
    });
    worker.join();
    EXPECT_EQ(offer, BoxAnswer::None);
    EXPECT_EQ(error, BoxAnswer::None);
}

TEST(DesktopAddressOpener, HandsTheAddressToTheDesktopAsUnicode) {
    // Stands in for the browser: QDesktopServices gives http addresses to this handler instead of
    // xdg-open. Loopback only, in case the handler were ever bypassed.
    QTextBrowser browser;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &browser, "setSource");
    DesktopAddressOpener opener;
    opener.Open("http://127.0.0.1:1/\xb8\xfc\xd0\xc2.zip?v=2#top");  // 更新.zip
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));

    EXPECT_EQ(browser.source(), QUrl(QString::fromUtf8("http://127.0.0.1:1/更新.zip?v=2#top")));
}

}  // namespace
}  // namespace quorvel
