// The renderer's names for its enumerated values and output channels.
#include "host/controls/HostControls.h"

namespace ornhost {

const std::vector<LabelledSetting>& EnumerationLabels() {
  static const std::vector<LabelledSetting> labels = {
      {"BlurMethod", {{0, "Camera"}, {1, "Object"}, {2, "Camera and object"}}},
      {"ShadowQuality", {{0, "Draft"}, {1, "Medium"}, {2, "High"}, {3, "Best"}}},
      {"CameraProjection", {{0, "Perspective"}, {1, "Parallel"}, {2, "Spherical (360°)"}}},
      {"AntiAliasStrategy", {{0, "None"}, {1, "Fixed"}, {2, "Adaptive"}}},
      {"LightingModel", {{0, "Basic"}, {1, "Radiosity"}, {2, "Path tracing"}}},
      {"JitterMode", {{0, "Off"}, {1, "Random"}, {2, "Stratified"}}},
      {"JitterBucketSize", {{0, "16 × 16"}, {1, "32 × 32"}, {2, "64 × 64"}}},
  };
  return labels;
}

const std::vector<ValueLabel>& OutputChannelLabels() {
  static const std::vector<ValueLabel> channels = {
      {0, "Colour"},
      {1, "Alpha"},
      {2, "Depth"},
      {3, "Normals"},
      {4, "Albedo"},
      {5, "Diffuse"},
      {6, "Specular"},
      {7, "Reflection"},
      {8, "Refraction"},
      {9, "Shadows"},
      {10, "Ambient occlusion"},
      {11, "Emission"},
      {12, "Object ID"},
  };
  return channels;
}

}  // namespace ornhost
