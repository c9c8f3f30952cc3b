#include "app/StartupNotification.h"

#include <gtest/gtest.h>

namespace {

// A launcher's parser must read back exactly the id it gave; a message cut
// or padded wrongly would leave its busy cursor spinning.
TEST(StartupNotificationTest, RemoveMessageQuotesTheIdAndTravelsInNulPaddedPiecesOfTwenty)
{
    const struct {
        QByteArray Id, Message;
        int Pieces;
    } Cases[] = {
        {"launcher-7-host_TIME4242", "remove: ID=\"launcher-7-host_TIME4242\"", 2},
        {"a \"b\" c\\d", "remove: ID=\"a \\\"b\\\" c\\\\d\"", 2},
        // 19 bytes and the NUL fill one piece exactly; one more byte needs a second.
        {"x12345", "remove: ID=\"x12345\"", 1},
        {"x123456", "remove: ID=\"x123456\"", 2},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Id.toStdString());
        const QByteArray Message = StartupNotification::RemoveMessage(Case.Id);
        EXPECT_EQ(Message, Case.Message);
        const QList<QByteArray> Pieces = StartupNotification::Pieces(Message);
        ASSERT_EQ(Pieces.size(), Case.Pieces);
        QByteArray Joined;
        for (const QByteArray& Piece : Pieces) {
            EXPECT_EQ(Piece.size(), 20);
            Joined += Piece;
        }
        EXPECT_TRUE(Joined.startsWith(Message + '\0'));
        EXPECT_EQ(Joined.mid(Message.size()), QByteArray(Joined.size() - Message.size(), '\0'));
    }
}

} // namespace
