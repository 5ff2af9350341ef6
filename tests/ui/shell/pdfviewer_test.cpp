// The built-in PDF viewer: Qt PDF reads a real one-page document, shows it in a
// view, and turns damaged files away with an error status.

#include "demo/demodata.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPdfDocument>
#include <QPdfSelection>
#include <QPdfView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace {

const char kLine[] = "Application of Jane Doe";

// A one-page letter-size document with a line of text, as the demonstration writes them.
QByteArray onePagePdf()
{
    return mw::demoDocument({kLine});
}

class PdfViewerTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString file(const char* name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(QLatin1String(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    // Shows the document in a view and lets it paint.
    static void showInView(QPdfDocument& doc)
    {
        QPdfView view;
        view.setDocument(&doc);
        view.resize(400, 500);
        view.show();
        QTest::qWait(50);
        EXPECT_FALSE(view.grab().isNull());
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(PdfViewerTest, ReadsAndShowsAOnePageDocument)
{
    QPdfDocument doc;
    EXPECT_EQ(doc.load(file("application.pdf", onePagePdf())), QPdfDocument::Error::None);
    EXPECT_EQ(doc.status(), QPdfDocument::Status::Ready);
    ASSERT_EQ(doc.pageCount(), 1);
    EXPECT_EQ(doc.pagePointSize(0), QSizeF(612, 792));
    EXPECT_EQ(doc.getAllText(0).text().trimmed().toStdString(), kLine);

    // The text is drawn: some dark pixels on the white page.
    const QImage page = doc.render(0, QSize(306, 396));
    ASSERT_FALSE(page.isNull());
    int dark = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            dark += qGray(page.pixel(x, y)) < 128;
    EXPECT_GT(dark, 20);

    showInView(doc);
}

TEST_F(PdfViewerTest, DamagedFilesGiveAnErrorStatus)
{
    const QByteArray good = onePagePdf();
    const struct
    {
        const char* name;
        QByteArray bytes;
    } cases[] = {
        {"empty.pdf", QByteArray()},
        {"notapdf.pdf", "Name;Position;Date\nJane Doe;Clerk;2026-06-15\n"},
        {"headeronly.pdf", "%PDF-1.4\n%%EOF\n"},
        {"truncated.pdf", good.left(good.indexOf("3 0 obj"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QPdfDocument doc;
        EXPECT_NE(doc.load(file(c.name, c.bytes)), QPdfDocument::Error::None);
        EXPECT_EQ(doc.status(), QPdfDocument::Status::Error);
        EXPECT_EQ(doc.pageCount(), 0);
        showInView(doc);
    }

    QPdfDocument missing;
    EXPECT_EQ(missing.load(dir.filePath(QStringLiteral("missing.pdf"))), QPdfDocument::Error::FileNotFound);
    EXPECT_EQ(missing.status(), QPdfDocument::Status::Error);
}
