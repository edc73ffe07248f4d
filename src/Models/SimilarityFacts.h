#pragma once

// What the background pass learns of one photo's picture to find bursts and duplicates: a
// 64-bit difference hash (alike pictures differ in few bits), how sharp it is, and which camera
// took it. A plain value, cheap to copy between threads.

#include <QString>

struct SimilarityFacts
{
    quint64 hash = 0;
    double sharpness = 0; // larger is sharper; comparable between frames of one camera
    QString camera;       // make, model and serial number; empty when the file does not say

    friend bool operator==(const SimilarityFacts &, const SimilarityFacts &) = default;
};
