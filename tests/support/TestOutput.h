#pragma once

#include "ImageFrame.h"
#include "outputs/ImageOutput.h"

// An output the test drives by hand, for the outputs that have no real implementation here
// (e-mail and FTP report through their own messages, which the tests post).
class TestOutput final : public ImageOutput
{
public:
    OutputState state = OutputState::Idle;
    int started = 0;
    int lastImageWidth = 0;

    OutputState State() const override { return state; }
    void ResetFailed() override
    {
        if (state == OutputState::Failed)
            state = OutputState::Idle;
    }
    void StartOutput(const ImageFrame& image, QObject*) override
    {
        ++started;
        lastImageWidth = image.Width();
        state = OutputState::Busy;
    }
    bool FinishForExit(int) override { return true; }
};
