#include "OpticalFlow.h"

#include "RuntimeModule.h"

// The module's one entry point; see OpenCvOpticalFlow.cpp.
using FlowEntry = const COpticalFlow* (*)();

const COpticalFlow& COpticalFlow::Get() {
    static const COpticalFlow& flow =
        *reinterpret_cast<FlowEntry>(CRuntimeModule::Symbol("orvanta-flow", "OrvantaOpticalFlow"))();
    return flow;
}
