#include "app/jpeg_image.h"

#include <gtest/gtest.h>

#include <QColor>

#include "app/pictures.h"

namespace {

TEST(JpegImageTest, EncodedPictureDecodesToItsSizeAndColours) {
  QImage picture(64, 32, QImage::Format_RGB32);
  picture.fill(QColor(200, 40, 40));
  const QByteArray jpeg = app::EncodeJpeg(picture, 95);
  ASSERT_FALSE(jpeg.isEmpty());
  EXPECT_TRUE(jpeg.startsWith("\xFF\xD8"));
  const QImage decoded = app::DecodeJpeg(jpeg);
  ASSERT_EQ(decoded.size(), QSize(64, 32));
  const QColor middle = decoded.pixelColor(32, 16);
  EXPECT_NEAR(middle.red(), 200, 6);
  EXPECT_NEAR(middle.green(), 40, 6);
  EXPECT_NEAR(middle.blue(), 40, 6);

  // Grey pictures come out as RGB too.
  const QImage grey = app::DecodeJpeg(app::EncodeJpeg(picture.convertToFormat(QImage::Format_Grayscale8), 90));
  EXPECT_EQ(grey.size(), QSize(64, 32));
}

TEST(JpegImageTest, DamagedDataGivesANullImageOrWhatCouldBeReadNeverACrash) {
  EXPECT_TRUE(app::DecodeJpeg(QByteArray()).isNull());
  EXPECT_TRUE(app::DecodeJpeg(QByteArray("not a picture at all")).isNull());
  QImage picture = app::ProgramIconImage(48).convertToFormat(QImage::Format_RGB32);
  const QByteArray jpeg = app::EncodeJpeg(picture, 80);
  for (qsizetype cut : {qsizetype(2), qsizetype(20), jpeg.size() / 2, jpeg.size() - 2}) {
    const QImage image = app::DecodeJpeg(jpeg.left(cut));
    if (!image.isNull()) {
      EXPECT_EQ(image.size(), QSize(48, 48));
    }
  }
  QByteArray scrambled = jpeg;
  for (qsizetype i = 200; i < scrambled.size(); i += 7) scrambled[i] = static_cast<char>(scrambled[i] ^ 0x5A);
  app::DecodeJpeg(scrambled);
}

TEST(JpegImageTest, ProgramPicturesAreDrawnAtTheirSizes) {
  EXPECT_EQ(app::FolderImage().size(), QSize(16, 16));
  for (int size : {16, 48}) {
    const QImage icon = app::ProgramIconImage(size);
    EXPECT_EQ(icon.size(), QSize(size, size));
    EXPECT_GT(qAlpha(icon.pixel(size / 2, size * 3 / 4)), 0);  // the folder fills the middle
  }
}

}  // namespace
