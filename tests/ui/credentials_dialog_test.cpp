// The password prompt: who asks, under what name, and whether the password would
// cross the network unencrypted; hostile names stay text.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <vector>

#include "dialogs/CCredentialsDlg.h"

using namespace tamsel;

TEST(CredentialsDialogTest, NamesWhoAsksAndWarnsOfPlainHttp) {
    const struct {
        const char* what;
        QString host;
        QString realm;
        bool proxy;
        bool plain;
        std::vector<QString> shown;
        std::vector<QString> absent;
    } cases[] = {
        {"https server",
         "media.example",
         "Members",
         false,
         false,
         {"media.example", "\"Members\""},
         {"not encrypted"}},
        {"plain http", "10.0.0.5", "", false, true, {"10.0.0.5", "not encrypted"}, {"calls"}},
        {"proxy", "", "Corp", true, false, {"The proxy asks", "\"Corp\""}, {"not encrypted"}},
    };
    for (const auto& c : cases) {
        CCredentialsDlg dialog(nullptr, c.host, c.realm, c.proxy, c.plain);
        for (const QString& text : c.shown) {
            EXPECT_TRUE(dialog.Question().contains(text)) << c.what << ": " << text.toStdString();
        }
        for (const QString& text : c.absent) {
            EXPECT_FALSE(dialog.Question().contains(text)) << c.what << ": " << text.toStdString();
        }
        const auto* password = dialog.findChildren<QLineEdit*>().at(1);
        EXPECT_EQ(password->echoMode(), QLineEdit::Password) << c.what;
    }
}

TEST(CredentialsDialogTest, AServersRealmIsShownAsTextNotMarkup) {
    CCredentialsDlg dialog(nullptr, "evil.test", "<a href=\"http://x\">Click</a>", false, true);
    const QList<QLabel*> labels = dialog.findChildren<QLabel*>();
    const auto intro = std::find_if(labels.begin(), labels.end(), [](const QLabel* label) {
        return label->text().contains("evil.test");
    });
    ASSERT_NE(intro, labels.end());
    EXPECT_EQ((*intro)->textFormat(), Qt::PlainText);
    EXPECT_TRUE((*intro)->text().contains("<a href="));
}
