#!/usr/bin/env bash
# Installs every Debian package the build, the viewer and the tests need.
# Runs apt-get directly as root and through sudo otherwise; packages that are
# already installed are skipped, so a second run costs a dpkg query.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libqt6openglwidgets6
  # the Curves panel and its pictures
  qt6-charts-dev qt6-svg-dev
  libgl-dev libglu1-mesa-dev libegl-dev libegl-mesa0 libgl1-mesa-dri libglx-mesa0
  libpng-dev zlib1g-dev libnifti2-dev
  # GIfTI meshes; nibabel for the GIfTI files of other programs the tests read
  libgiftiio-dev python3-nibabel
  # pydicom: the tests compare the voxels --info reports with its reading of DICOM files
  python3-pydicom
  libvtk9-dev libgdcm-dev
  # gdcmtar: the tests and the DICOM benchmark split a real enhanced MR file into a classic series
  libgdcm-tools
  # the DICOM benchmark times loads against dcm2niix's conversion of the same folder
  dcm2niix
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  # dense optical flow for carrying labels over time (the orvanta-flow module)
  libopencv-video-dev
  # the README's recipe for a cohort runs studies through GNU parallel
  parallel
  # query and retrieve from DICOM archives (the orvanta-dimse module); getscu
  # and findscu for the network benchmark
  libdcmtk-dev dcmtk
  # the archive the network tests and benchmark start for themselves
  orthanc orthanc-dicomweb
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth
  shared-mime-info desktop-file-utils
  clang-14 libclang-rt-14-dev
  locales-all
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
((${#missing[@]})) || exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
else
  as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
# The tests start Orthanc themselves, on free ports with a configuration of
# their own; the package's system service is not wanted beside them.
if [[ " ${missing[*]} " == *" orthanc "* ]] && command -v systemctl >/dev/null && systemctl is-system-running >/dev/null 2>&1; then
  "${as_root[@]}" systemctl disable --now orthanc || true
fi
