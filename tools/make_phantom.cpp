// Writes cine studies of a beating left ventricle with its end-diastolic
// labels only, as a cohort for carrying labels over time: for each study
// <folder>/<study>/cine.nii.gz (the volume, every frame) and
// <folder>/<study>/ed_labels.nii.gz (blood pool 1 and myocardium 2 at
// frame 0, a 3-D image), plus truth.csv with the true blood-pool volume of
// every frame in ml. Studies differ in their seed and their contraction.
//
//   orvanta-make-phantom OUTPUT_FOLDER [STUDIES]

#include <cstdio>
#include <cstdlib>
#include <string>

#include "CardiacPhantom.h"
#include "PhantomStudy.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: orvanta-make-phantom OUTPUT_FOLDER [STUDIES]\n");
        return 2;
    }
    const int studies = argc == 3 ? std::atoi(argv[2]) : 3;
    if (studies < 1 || studies > 1000) {
        std::fprintf(stderr, "orvanta-make-phantom: STUDIES must be 1 to 1000\n");
        return 2;
    }
    for (int study = 0; study < studies; ++study) {
        CCardiacPhantomShape shape;
        shape.seed = static_cast<uint32_t>(study + 1);
        shape.systolicRadius = 12.0 + study % 4;
        char name[32];
        std::snprintf(name, sizeof name, "/study%02d", study + 1);
        if (!WritePhantomStudy(std::string(argv[1]) + name, CCardiacPhantom(shape))) {
            std::fprintf(stderr, "orvanta-make-phantom: cannot write %s%s\n", argv[1], name);
            return 1;
        }
    }
    return 0;
}
