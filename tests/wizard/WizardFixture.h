#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "controls/PPageNote.h"
#include "controls/TLabel_Transparent.h"
#include "platform/DateFormat.h"
#include "platform/DateTime.h"
#include "resources/fonts/Fonts.h"
#include "toolkit/ComCtrls.h"
#include "toolkit/Dialogs.h"
#include "toolkit/ExtCtrls.h"
#include "toolkit/StdCtrls.h"
#include "wizard/uMain.h"

// A wizard window in its own folders, with a set clock, the English (United
// States) formats and a recording message box.
class WizardTest : public ::testing::Test
{
protected:
    struct TShownBox
    {
        TWinControl* Owner;
        QString Text;
        QString Caption;
        unsigned Flags;
    };

    void SetUp() override
    {
        ASSERT_TRUE(FHome.isValid());
        // The window is laid out for these faces.
        Fonts::InstallSubstitutes();
        for (const char* Name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CONFIG_DIRS"}) {
            FSavedEnv.emplace_back(Name, qgetenv(Name));
            qputenv(Name, (FHome.path() + u'/' + QString::fromLatin1(Name)).toLocal8Bit());
        }
        SetNow(QDate(2014, 12, 8), QTime(21, 20));
        DateTime::SetClockForTesting([this] { return FNow; });
        SetFormatSettings(TFormatSettings());
        FSavedBox = SetMessageBoxFunc([this](TWinControl* Owner, const QString& Text, const QString& Caption, unsigned Flags) {
            Boxes.push_back({Owner, Text, Caption, Flags});
            return IDOK;
        });
    }

    void TearDown() override
    {
        Form.reset();
        SetMessageBoxFunc(FSavedBox);
        DateTime::SetClockForTesting({});
        RefreshFormatSettings();
        for (const auto& [Name, Value] : FSavedEnv) {
            if (Value.isNull())
                qunsetenv(Name);
            else
                qputenv(Name, Value);
        }
    }

    void SetNow(QDate Date, QTime Time) { FNow = QDateTime(Date, Time, Qt::LocalTime); }

    TfrmMain& MakeForm()
    {
        Form = std::make_unique<TfrmMain>();
        return *Form;
    }

    // What a user's action does, through the widgets, so that the wiring of
    // the description is part of what is tested.
    static void Click(TControl* C) { static_cast<QAbstractButton*>(C->Widget())->click(); }
    static void Choose(TComboBox* C, int Index)
    {
        auto* W = static_cast<QComboBox*>(C->Widget());
        W->setCurrentIndex(Index);
        emit W->activated(Index);
    }
    static void SetPickerTime(TDateTimePicker* P, QTime Time)
    {
        auto* W = static_cast<QDateTimeEdit*>(P->Widget());
        W->setDateTime(QDateTime(W->date(), Time, Qt::UTC));
    }
    static void SetPickerDate(TDateTimePicker* P, QDate Date)
    {
        auto* W = static_cast<QDateTimeEdit*>(P->Widget());
        W->setDateTime(QDateTime(Date, W->time(), Qt::UTC));
    }

    // A language file may end a prefix with a no-break space where the
    // designed text has a blank.
    static QString Plain(const QString& Text)
    {
        QString S = Text;
        return S.replace(QChar(0x00A0), u' ');
    }

    static TDateTime At(int Year, int Month, int Day, int Hour, int Minute, int Second = 0)
    {
        return DateTime::EncodeDate(Year, Month, Day) + DateTime::EncodeTime(Hour, Minute, Second);
    }

    std::unique_ptr<TfrmMain> Form;
    std::vector<TShownBox> Boxes;

private:
    QTemporaryDir FHome;
    QDateTime FNow;
    std::vector<std::pair<const char*, QByteArray>> FSavedEnv;
    TMessageBoxFunc FSavedBox;
};
