#include "FileNames.h"

#include "Errors.h"

#include <QFileInfo>

QString changeFileExt(const QString& fileName, const QString& extension) {
    const qsizetype separator = fileName.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot > separator)
        return fileName.left(dot) + extension;
    return fileName + extension;
}

pixmora::PictureFormat writerForFileName(const QString& fileName) {
    const pixmora::PictureFormat format = pixmora::formatForFileName(fileName);
    if (format == pixmora::PictureFormat::Unknown)
        throw pixmora::Error(
            QStringLiteral("A imagem não pode ser salva como \"%1\": use um nome terminado em "
                           ".bmp, .jpg, .jpeg ou .png")
                .arg(QFileInfo(fileName).fileName()));
    return format;
}
