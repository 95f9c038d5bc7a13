#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What every fuzz target needs: a Qt application object (image plug-ins and file names need
// one) and the input as bytes or text.
void EnsureFuzzApplication();
QByteArray Bytes(const std::uint8_t* data, std::size_t size);
QString Text(const std::uint8_t* data, std::size_t size);
// A file holding the input, in a private directory that lives as long as the process.
QString WriteInputFile(const QByteArray& bytes);
