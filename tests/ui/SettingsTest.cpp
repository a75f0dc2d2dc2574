// Start-up and settings of the window: the command-line data file, the file
// association, loading the stored choices at every showing, and saving them
// at every end of the program.
#include "UiTestSupport.h"
#include "platform/Registry.h"
#include "ui/Unit1.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

namespace quillock::ui::test {

class TSettingsTest final : public TWindowTest {
    Q_OBJECT

private slots:
    void FirstArgumentIsTheDataFile();
    void AssociationIsWrittenAtStart();
    void AssociationFailuresAreShownOneByOne();
    void FirstRunKeepsTheDefaultsAndSavesAllValues();
    void StoredChoicesAreShownAndNamedInTheCaption();
    void StoredEditionRunsTheEditionRule();
    void MissingEditionPathReadsEmpty();
    void ValueOfTheWrongTypeStopsTheLoad();
    void MissingIndexStopsTheLoad();
    void IndicesOutOfRangeAreIgnored();
    void ShowingAgainKeepsTheChoicesMade();
    void SaveFailureIsShown();
    void UnreadableSettingsGiveTheDefaults();
    void SettingsAreWrittenAtEveryEnd_data();
    void SettingsAreWrittenAtEveryEnd();

private:
    // The settings as the store reads them back.
    static platform::TRegistry OpenSettings();
};

// The edition button at index of the window's edition group.
static QRadioButton* Edition(TForm1& form, int index) {
    return Find<QWidget>(&form, "RadioGroup1")->findChildren<QRadioButton*>()[index];
}

platform::TRegistry TSettingsTest::OpenSettings() {
    platform::TRegistry registry;
    registry.OpenKey("Software\\Quillock", false);
    return registry;
}

void TSettingsTest::FirstArgumentIsTheDataFile() {
    TForm1 form({QStringLiteral("/data/My Diary.qlx"), QStringLiteral("/second.qlx")});
    form.show();
    QCOMPARE(Find<QLineEdit>(&form, "FName")->text(), QStringLiteral("/data/My Diary.qlx"));
    QVERIFY(!Find<QPushButton>(&form, "BitBtn1")->isEnabled());
    TForm1 plain;
    QCOMPARE(Find<QLineEdit>(&plain, "FName")->text(), QString());
}

void TSettingsTest::AssociationIsWrittenAtStart() {
    TForm1 form;
    const QByteArray entry = ReadAll(FHome->Path(QStringLiteral("share/applications/quillock.desktop")));
    QVERIFY(!entry.isEmpty());
    QVERIFY(entry.contains(QFile::encodeName(QCoreApplication::applicationFilePath())));
    QVERIFY(ReadAll(FHome->Path(QStringLiteral("share/mime/packages/quillock.xml"))).contains("*.qlx"));
}

void TSettingsTest::AssociationFailuresAreShownOneByOne() {
    // A data folder that is a file cannot hold the association, even for root.
    WriteAll(FHome->Path(QStringLiteral("blocked")), "not a folder");
    qputenv("XDG_DATA_HOME", QFile::encodeName(FHome->Path(QStringLiteral("blocked"))));
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("OK"));
    answerer.ExpectBox(QStringLiteral("OK"));
    TForm1 form;
    QCOMPARE(answerer.Seen().size(), std::size_t(2));
    QCOMPARE(answerer.Seen()[0].Text, QStringLiteral("Error writing into registry!"));
    QCOMPARE(answerer.Seen()[1].Text, QStringLiteral("Error registering extension!"));
    // The plain box is titled with the program's name.
    const QString title = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    QCOMPARE(answerer.Seen()[0].Title.toLower(), title.toLower());
    QCOMPARE(answerer.Seen()[0].Title.left(1), title.left(1).toUpper());
    QCOMPARE(answerer.Seen()[0].Icon, QMessageBox::NoIcon);
    // Start-up goes on.
    form.show();
    QVERIFY(form.isVisible());
}

void TSettingsTest::FirstRunKeepsTheDefaultsAndSavesAllValues() {
    {
        TForm1 form;
        form.show();
        QCOMPARE(form.AlgorithmIndex(), 0);
        QCOMPARE(form.HashIndex(), 0);
        QCOMPARE(form.ExeName(), std::string("Arbolix.exe"));
        QCOMPARE(form.EditionPaths()[2], std::string("..\\Arbolix OFC\\ArbolixOFC.exe"));
        // The key exists, empty, once the window has been shown.
        platform::TRegistry registry;
        QVERIFY(registry.OpenKey("Software\\Quillock", false));
        QVERIFY(!registry.ValueExists("ExeName"));
        QVERIFY(!registry.ValueExists("ExeNamePos"));
    }
    platform::TRegistry registry = OpenSettings();
    QCOMPARE(registry.ReadInteger("ExeNamePos"), 0);
    QCOMPARE(registry.ReadInteger("Algorithm"), 0);
    QCOMPARE(registry.ReadInteger("Hash"), 0);
    QCOMPARE(registry.ReadString("ExeName0"), std::string("Arbolix.exe"));
    QCOMPARE(registry.ReadString("ExeName1"), std::string("C:\\Programmi\\Arbolix Extra\\ArbolixExtra.exe"));
    QCOMPARE(registry.ReadString("ExeName2"), std::string("..\\Arbolix OFC\\ArbolixOFC.exe"));
    QCOMPARE(registry.ReadString("ExeName"), std::string("Arbolix.exe"));
}

void TSettingsTest::StoredChoicesAreShownAndNamedInTheCaption() {
    WriteSettings(*FHome, {"ExeNamePos=dword:0", "Algorithm=dword:1", "Hash=dword:1", "ExeName0=sz:\"/opt/a\"",
                           "ExeName1=sz:\"/opt/b\"", "ExeName2=sz:\"/opt/c\"", "ExeName=sz:\"/opt/a\""});
    TForm1 form;
    form.show();
    QCOMPARE(Find<QComboBox>(&form, "AlgorithmCB")->currentText(), QStringLiteral("Blowfish"));
    QCOMPARE(Find<QComboBox>(&form, "HashCB")->currentText(), QStringLiteral("SHA-1"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Arbolix\u00AE Encrypt (Blowfish SHA-1) v3.0"));
    // The history keeps the caption of the moment the window was created.
    QVERIFY(Find<QPlainTextEdit>(&form, "VersionsHistory")
                ->toPlainText()
                .startsWith(QStringLiteral("Arbolix\u00AE Encrypt (Rijndael RIPEMD-160) v3.0 - VERSIONS HISTORY:")));
    QCOMPARE(form.ExeName(), std::string("/opt/a"));
    QCOMPARE(form.EditionPaths()[1], std::string("/opt/b"));
}

void TSettingsTest::StoredEditionRunsTheEditionRule() {
    WriteSettings(*FHome, {"ExeNamePos=dword:2", "Algorithm=dword:0", "Hash=dword:0", "ExeName0=sz:\"/opt/a\"",
                           "ExeName1=sz:\"/opt/b\"", "ExeName2=sz:\"/opt/c\"", "ExeName=sz:\"/opt/c-new\""});
    TForm1 form;
    form.show();
    QVERIFY(Edition(form, 2)->isChecked());
    QCOMPARE(form.ExeName(), std::string("/opt/c-new"));
    // "ExeName" also became the path of the loaded edition.
    QCOMPARE(form.EditionPaths()[2], std::string("/opt/c-new"));
    QCOMPARE(form.EditionPaths()[0], std::string("/opt/a"));
}

void TSettingsTest::MissingEditionPathReadsEmpty() {
    WriteSettings(*FHome, {"ExeNamePos=dword:0", "Algorithm=dword:0", "Hash=dword:0", "ExeName0=sz:\"/opt/a\"",
                           "ExeName2=sz:\"/opt/c\"", "ExeName=sz:\"/opt/a\""});
    TForm1 form;
    form.show();
    QCOMPARE(form.EditionPaths()[1], std::string());
    Edition(form, 1)->click();
    QCOMPARE(Find<QLineEdit>(&form, "ExeName")->text(), QString());
}

void TSettingsTest::ValueOfTheWrongTypeStopsTheLoad() {
    WriteSettings(*FHome, {"ExeNamePos=dword:1", "Algorithm=dword:1", "Hash=sz:\"1\"", "ExeName0=sz:\"/opt/a\"",
                           "ExeName1=sz:\"/opt/b\"", "ExeName2=sz:\"/opt/c\"", "ExeName=sz:\"/opt/b\""});
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("OK"));
    TForm1 form;
    form.show();
    QCOMPARE(answerer.Seen().size(), std::size_t(1));
    QCOMPARE(answerer.Seen()[0].Text, QStringLiteral("Invalid data type for 'Hash'"));
    QCOMPARE(answerer.Seen()[0].Icon, QMessageBox::Critical);
    // What was applied before stays; the rest keeps its state.
    QCOMPARE(form.AlgorithmIndex(), 1);
    QCOMPARE(form.HashIndex(), 0);
    QVERIFY(Edition(form, 1)->isChecked());
    QCOMPARE(form.windowTitle(), QStringLiteral("Arbolix\u00AE Encrypt (Rijndael RIPEMD-160) v3.0"));
    QVERIFY(form.isVisible());
}

void TSettingsTest::MissingIndexStopsTheLoad() {
    WriteSettings(*FHome, {"ExeNamePos=dword:0", "Hash=dword:1", "ExeName=sz:\"/opt/a\""});
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("OK"));
    TForm1 form;
    form.show();
    QCOMPARE(answerer.Seen().size(), std::size_t(1));
    QCOMPARE(answerer.Seen()[0].Text, QStringLiteral("Failed to get data for 'Algorithm'"));
    QCOMPARE(form.HashIndex(), 0);
    QCOMPARE(form.ExeName(), std::string("Arbolix.exe"));
    // Paths not read keep their defaults, so the save at the end stores no empty ones.
    QCOMPARE(form.EditionPaths()[1], std::string("C:\\Programmi\\Arbolix Extra\\ArbolixExtra.exe"));
}

void TSettingsTest::IndicesOutOfRangeAreIgnored() {
    WriteSettings(*FHome, {"ExeNamePos=dword:3", "Algorithm=dword:2", "Hash=dword:-1", "ExeName0=sz:\"/opt/a\"",
                           "ExeName1=sz:\"/opt/b\"", "ExeName2=sz:\"/opt/c\"", "ExeName=sz:\"/opt/x\""});
    TForm1 form;
    form.show();
    QVERIFY(Edition(form, 0)->isChecked());
    QCOMPARE(form.AlgorithmIndex(), 0);
    QCOMPARE(form.HashIndex(), 0);
    QCOMPARE(form.ExeName(), std::string("/opt/x"));
}

void TSettingsTest::ShowingAgainKeepsTheChoicesMade() {
    WriteSettings(*FHome, {"ExeNamePos=dword:1", "Algorithm=dword:1", "Hash=dword:0", "ExeName0=sz:\"/opt/a\"",
                           "ExeName1=sz:\"/opt/b\"", "ExeName2=sz:\"/opt/c\"", "ExeName=sz:\"/opt/b\""});
    TForm1 form;
    form.show();
    QCOMPARE(form.AlgorithmIndex(), 1); // loaded at the first showing
    form.SetAlgorithmIndex(0);
    Edition(form, 0)->click();
    // As during a session: locked, hidden while the editor runs, shown again;
    // the choices the session started with stay.
    form.LockWindow();
    form.HideMainWindow();
    form.ShowMainWindow();
    QVERIFY(form.isVisible());
    QVERIFY(!form.isEnabled());
    QCOMPARE(form.AlgorithmIndex(), 0);
    QVERIFY(Edition(form, 0)->isChecked());
    QCOMPARE(form.ExeName(), std::string("/opt/a"));
}

void TSettingsTest::SaveFailureIsShown() {
    // A configuration folder that is a file: nothing can be stored, even for root.
    WriteAll(FHome->Path(QStringLiteral("blocked")), "not a folder");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(FHome->Path(QStringLiteral("blocked"))));
    auto form = std::make_unique<TForm1>();
    form->show();
    QSignalSpy ended(form.get(), &TForm1::ProgramEnded);
    form->close();
    QCOMPARE(ended.size(), 1);
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("OK"));
    form.reset();
    QCOMPARE(answerer.Seen().size(), std::size_t(1));
    QCOMPARE(answerer.Seen()[0].Text, QStringLiteral("Failed to set data for 'ExeNamePos'"));
    QCOMPARE(ended[0][0].toInt(), 0);
}

void TSettingsTest::UnreadableSettingsGiveTheDefaults() {
    // A folder where the settings file should be cannot be read, even by root.
    QDir().mkpath(FHome->SettingsFile());
    auto form = std::make_unique<TForm1>();
    form->show();
    QCOMPARE(form->ExeName(), std::string("Arbolix.exe"));
    QCOMPARE(form->EditionPaths()[1], std::string("C:\\Programmi\\Arbolix Extra\\ArbolixExtra.exe"));
    QCOMPARE(form->AlgorithmIndex(), 0);
    form->close();
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("OK"));
    form.reset();
    QCOMPARE(answerer.Seen().size(), std::size_t(1));
    QCOMPARE(answerer.Seen()[0].Text, QStringLiteral("Failed to set data for 'ExeNamePos'"));
}

void TSettingsTest::SettingsAreWrittenAtEveryEnd_data() {
    QTest::addColumn<QString>("end");
    QTest::newRow("Cancel") << QStringLiteral("cancel");
    QTest::newRow("Escape") << QStringLiteral("escape");
    QTest::newRow("close box") << QStringLiteral("close");
}

void TSettingsTest::SettingsAreWrittenAtEveryEnd() {
    QFETCH(QString, end);
    {
        TForm1 form;
        form.show();
        Find<QPushButton>(&form, "OptionsButton")->click();
        QTest::keyClick(Find<QComboBox>(&form, "HashCB"), Qt::Key_Down);
        QTest::mouseClick(Find<QRadioButton>(&form, "RadioGroup1Item2"), Qt::LeftButton, {}, QPoint(6, 9));
        Find<QLineEdit>(&form, "ExeName")->setText(QStringLiteral("/opt/office"));
        QSignalSpy ended(&form, &TForm1::ProgramEnded);
        if (end == QStringLiteral("cancel")) {
            QTest::mouseClick(Find<QPushButton>(&form, "BitBtn2"), Qt::LeftButton);
        } else if (end == QStringLiteral("escape")) {
            QTest::keyClick(Find<QWidget>(&form, "MaskEdit1"), Qt::Key_Escape);
        } else {
            form.close();
        }
        QCOMPARE(ended.size(), 1);
        QCOMPARE(ended[0][0].toInt(), 0);
        // Nothing is written before the window goes.
        QVERIFY(!OpenSettings().ValueExists("ExeName"));
    }
    platform::TRegistry registry = OpenSettings();
    QCOMPARE(registry.ReadInteger("ExeNamePos"), 2);
    QCOMPARE(registry.ReadInteger("Algorithm"), 0);
    QCOMPARE(registry.ReadInteger("Hash"), 1);
    QCOMPARE(registry.ReadString("ExeName0"), std::string("Arbolix.exe"));
    QCOMPARE(registry.ReadString("ExeName2"), std::string("/opt/office"));
    QCOMPARE(registry.ReadString("ExeName"), std::string("/opt/office"));
}

QObject* MakeSettingsTest() {
    return new TSettingsTest;
}

} // namespace quillock::ui::test

#include "SettingsTest.moc"
