// DumpScene: the whole SceneDb as indented text, in the library's own field
// names. A diagnostic view, not a scene file.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "c_number_locale.h"
#include "scene_internal.h"
#include "scenedb.h"

namespace {

class Dumper {
 public:
  Dumper(SceneDb* db, FILE* f) : db_(db), f_(f) {}

  // depth tabs, then the formatted text, straight to the file.
  void Line(int depth, const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
  {
    for (int i = 0; i < depth; ++i) fputc('\t', f_);
    va_list args;
    va_start(args, format);
    vfprintf(f_, format, args);
    va_end(args);
  }
  void Open(int depth, const std::string& heading) {
    Line(0, "\n");
    Line(depth, "%s", heading.c_str());
    Line(depth, "{\n");
  }
  void Close(int depth) { Line(depth, "}\n"); }

  void Scene();

 private:
  void Item(int d, SceneItem* item);
  void ObjectSub(int d, SceneItem* item, ObjectItemData& o);
  void BoneSub(int d, SceneItem* item, BoneData& b);
  void LightSub(int d, LightData& l);
  void CameraSub(int d, CameraData& c);
  void MotionSub(int d, Motion& m);
  void EnvelopeSub(int d, const char* name, Envelope* e);
  void Plugins(int d, PluginBlock* head);
  void Clip(int d, const char* slot, ClipRef* c);
  void Adjustment(int d, const char* heading, ClipAdjustment* a);
  // The envelope subsection when there is an envelope, else the value line.
  void EnvOr(int d, const char* name, Envelope* e, const char* format, double value) {
    if (e)
      EnvelopeSub(d, name, e);
    else
      Line(d, format, value);
  }
  // Up to three envelopes chained through next, named name.R, .G, .B.
  bool Rgb(int d, const std::string& name, Envelope* e) {
    if (!e) return false;
    const char* suffix[3] = {".R", ".G", ".B"};
    for (int i = 0; i < 3 && e; ++i, e = e->next) EnvelopeSub(d, (name + suffix[i]).c_str(), e);
    return true;
  }

  SceneDb* db_;
  FILE* f_;
};

const char* ShapeName(int shape) {
  static const char* const kNames[] = {"TCB", "Hermite", "Bezier", "Linear", "Stepped", "Bezier2D"};
  return shape >= 0 && shape < 6 ? kNames[shape] : "Unknown";
}

const char* PluginClassName(int c) {
  static const char* const kNames[] = {
      "ItemMotionHandler", "DisplacementHandler", "ChannelHandler",   "VolumetricHandler",
      "EnvironmentHandler", "PixelFilterHandler", "ImageFilterHandler", "CustomObjHandler",
      "ObjReplacementHandler", "MasterHandler"};
  return c >= 1 && c <= 10 ? kNames[c - 1] : "Unknown";
}

void Dumper::Plugins(int d, PluginBlock* head) {
  for (PluginBlock* p = head; p; p = p->next) {
    Open(d, "Plugin\n");
    Line(d + 1, "Type          %s\n", PluginClassName(p->pluginClass));
    Line(d + 1, "Version       %d\n", p->index);
    Line(d + 1, "Name          \"%s\"\n", p->serverName.c_str());
    Line(d + 1, "Size          %d\n", p->dataSize);
    if (!p->data.empty()) {
      Open(d + 1, "Params\n");
      size_t at = 0;
      while (at < p->data.size()) {
        const std::string text(p->data.data() + at, strnlen(p->data.data() + at, p->data.size() - at));
        Line(d + 2, "\"%s\"\n", text.c_str());
        at += text.size() + 1;
      }
      Close(d + 1);
    }
    Close(d);
  }
}

void Dumper::EnvelopeSub(int d, const char* name, Envelope* e) {
  Open(d, std::string(name) + "\n");
  Line(d + 1, "No            %d\n", e->channel);
  Line(d + 1, "NumKey        %d\n", e->keyCount);
  Line(d + 1, "Behaviors     %d %d\n", e->preBehavior, e->postBehavior);
  for (Key* k = e->firstKey; k; k = k->next) {
    Open(d + 1, "Key\n");
    Line(d + 2, "Value       %f\n", k->value);
    Line(d + 2, "Time        %f\n", k->time);
    Line(d + 2, "Shape       %s\n", ShapeName(k->shape));
    Line(d + 2, "Tension     %f\n", k->tension);
    Line(d + 2, "Continuity  %f\n", k->continuity);
    Line(d + 2, "Bias        %f\n", k->bias);
    Line(d + 2, "Param0      %f\n", k->param0);
    Line(d + 2, "Param1      %f\n", k->param1);
    Line(d + 2, "Param2      %f\n", k->param2);
    Close(d + 1);
  }
  Plugins(d + 1, e->channelPlugins);
  Close(d);
}

void Dumper::MotionSub(int d, Motion& m) {
  Open(d, "Motion\n");
  Line(d + 1, "NumKey        %d\n", m.keyCount);
  Line(d + 1, "Behaviors     %d\n", m.endBehavior);
  for (KeyFrame* k = m.keys; k; k = k->next) {
    Open(d + 1, "KeyFrame\n");
    Line(d + 2, "Step        %d\n", k->frame);
    Line(d + 2, "Postion     %f %f %f\n", k->position[0], k->position[1], k->position[2]);
    Line(d + 2, "Rotation    %f %f %f\n", k->rotation[0], k->rotation[1], k->rotation[2]);
    Line(d + 2, "Scale       %f %f %f\n", k->scale[0], k->scale[1], k->scale[2]);
    Line(d + 2, "Tension     %f\n", k->tension);
    Line(d + 2, "Bias        %f\n", k->bias);
    Line(d + 2, "Continuity  %f\n", k->continuity);
    Line(d + 2, "Linear      %d\n", k->linear);
    Close(d + 1);
  }
  Close(d);
}

void Dumper::ObjectSub(int d, SceneItem*, ObjectItemData& o) {
  const int b = d + 1;
  Open(d, "Object \n");
  Line(b, "Type                 %s\n", o.isNull ? "NullObject" : "ObjectFile");
  Line(b, "FileName             \"%s\"\n", o.fileName.c_str());
  Line(b, "Layer                %d\n", o.layer);
  Line(b, "ShadowOptions        %d\n", o.shadowOptions);
  Line(b, "MorphTarget          %d\n", o.morphTarget);
  Line(b, "MorphSurface         %d\n", o.morphSurfaces);
  Line(b, "MTSEMorphing         %d\n", o.mtseMorphing);
  Line(b, "DistanceDissolve     %d\n", o.distanceDissolve);
  Line(b, "MaxDissolveDistance  %f\n", o.maxDissolveDistance);
  EnvOr(b, "MorphEnvelope", o.morphAmountEnvelope, "MorphAmount          %f\n", o.morphAmount);
  EnvOr(b, "DissolveEnvelope", o.dissolveEnvelope, "ObjectDissolve       %f\n", o.objectDissolve);
  EnvOr(b, "PolygonSizeEnvelope", o.polygonSizeEnvelope, "PolygonSize          %f\n", o.polygonSize);
  for (ItemCode light : o.excludedLights) Line(b, "ExcludeLight         %08x\n", unsigned(light));
  Plugins(b, o.plugins);
  if (ObjectDb* odb = o.objectDb) {
    ObjectDbOps& ops = odb->ops;
    Open(b, "Obj2 \n");
    const ObjLayer* l = odb->currentLayer;
    Line(b + 1, "Layer idx %d  layer_no %d  name [%s]\n", l ? l->ordinal : -1, l ? l->number : -1,
         l ? l->name : "");
    Line(b + 1, "NumberOfPolygons  %d\n", ops.GetPolygonCount(odb));
    Line(b + 1, "NumberOfPoints    %d\n", ops.GetPointCount(odb));
    Line(b + 1, "NumberOfNormals   %d\n", ops.GetNormalCount(odb));
    Line(b + 1, "NumberOfUVCoords  %d\n", ops.GetUvCount(odb));
    Line(b + 1, "NumberOfColors    %d\n", ops.GetColorCount(odb));
    Line(b + 1, "NumberOfSurfaces  %d\n", ops.GetSurfaceCount(odb));
    Line(b + 1, "NumberOfWeights   %d\n", ops.GetVMapCount(odb, ID_WGHT));
    Line(b + 1, "NumberOfMorphs    %d\n", ops.GetVMapCount(odb, MakeId4("MORF")));
    Close(b);
  }
  Close(d);
}

void Dumper::BoneSub(int d, SceneItem* item, BoneData& bn) {
  const int b = d + 1;
  Open(d, "Bone \n");
  Line(b, "BoneObject            %d\n", bn.ownerId);
  Line(b, "BoneFalloffType       %d\n", bn.falloffType);
  Line(b, "BoneActive            %d\n", bn.active);
  Line(b, "BoneRestPosition      %f %f %f\n", bn.restPosition[0], bn.restPosition[1], bn.restPosition[2]);
  Line(b, "BoneRestDirection     %f %f %f\n", bn.restDirection[0], bn.restDirection[1],
       bn.restDirection[2]);
  Line(b, "BoneRestLength        %f\n", bn.restLength);
  Line(b, "boneWeightMapName     \"%s\"\n", bn.weightMapName.c_str());
  Line(b, "BoneWeightMapOnly     %d\n", bn.weightMapOnly);
  Line(b, "BoneNormalization     %d\n", bn.normalization);
  Line(b, "BoneStrength          %f\n", bn.strength);
  Line(b, "ScaleBoneStrength     %f\n", bn.scaleStrength);
  Line(b, "BoneLimitedRange      %d\n", bn.limitedRange);
  Line(b, "BoneMinRange          %f\n", bn.minRange);
  Line(b, "BoneMaxRange          %f\n", bn.maxRange);
  Line(b, "BoneJointComp         %f\n", bn.jointComp);
  Line(b, "BoneJointCompParent   %f\n", bn.jointCompParent);
  Line(b, "BoneMuscleFlex        %f\n", bn.muscleFlex);
  Line(b, "BoneMuscleFlexParent  %f\n", bn.muscleFlexParent);
  Line(b, "BoneRestStart         %f %f %f\n", bn.basePoint[0], bn.basePoint[1], bn.basePoint[2]);
  Line(b, "BoneRestEnd           %f %f %f\n", bn.tipPoint[0], bn.tipPoint[1], bn.tipPoint[2]);
  SceneItem* owner = bn.weightMapName.empty() ? nullptr : db_->ops.BoneOwner(db_, item);
  ObjectItemData* od = owner ? db_->ops.GetObjectData(db_, owner) : nullptr;
  ObjectDb* odb = od ? od->objectDb : nullptr;
  const ObjVMap* map = odb ? odb->ops.FindVMap(odb, ID_WGHT, bn.weightMapName.c_str()) : nullptr;
  if (map) {
    Open(b, "Weight \n");
    const size_t dim = size_t(map->dimension > 0 ? map->dimension : 0);
    for (size_t s = 0; s < map->points.size(); ++s)
      Line(b + 1, "%d    %f\n", map->points[s],
           dim && s * dim < map->values.size() ? double(map->values[s * dim]) : 0.0);
    Close(b);
  }
  Close(d);
}

void Dumper::LightSub(int d, LightData& l) {
  const int b = d + 1;
  Open(d, "Light \n");
  if (!Rgb(b, "LightColorEnvelope", l.colorEnvelope))
    Line(b, "LightColor        %f %f %f\n", double(l.color[0]), double(l.color[1]), double(l.color[2]));
  EnvOr(b, "LightIntensityEnvelope", l.intensityEnvelope, "LightIntensity    %f\n", l.intensity);
  Line(b, "AfterCaustics     %d\n", l.afterCaustics);
  Line(b, "LightType         %d\n", l.lightType);
  EnvOr(b, "LightConeAngleEnvelope", l.coneAngleEnvelope, "LightConeAngle    %f\n", l.coneAngle);
  EnvOr(b, "LightEdgeAngleEnvelope", l.edgeAngleEnvelope, "LightEdgeAngle    %f\n", l.edgeAngle);
  Line(b, "LightQuality      %d\n", l.lightQuality);
  Line(b, "LightFalloffType  %d\n", l.falloffType);
  EnvOr(b, "LightRangeEnvelope", l.rangeEnvelope, "LightRange        %f\n", l.range);
  Line(b, "ShadowType        %d\n", l.shadowType);
  EnvOr(b, "ShadowMapAngleEnvelope", l.shadowMapAngleEnvelope, "ShadowMapAngle    %f\n",
        l.shadowMapAngle);
  Line(b, "AffectDiffuse     %d\n", l.affectDiffuse);
  Line(b, "AffectSpecular    %d\n", l.affectSpecular);
  Line(b, "AffectCaustics    %d\n", l.affectCaustics);
  Line(b, "AffectOpenGL      %d\n", l.affectOpenGL);
  Close(d);
}

void Dumper::CameraSub(int d, CameraData& c) {
  const int b = d + 1;
  Open(d, "Camera \n");
  Line(b, "MotionBlur            %d\n", c.motionBlur);
  Line(b, "DepthOfField          %d\n", c.depthOfField);
  EnvOr(b, "BlurLengthEnvelope", c.blurLengthEnvelope, "BlurLength            %f\n", c.blurLength);
  EnvOr(b, "ZoomFactorEnvelope", c.zoomFactorEnvelope, "ZoomFactor            %f\n", c.zoomFactor);
  Line(b, "FovAngles             %f %f\n", c.horizontalFov, c.verticalFov);
  EnvOr(b, "FocalDistanceEnvelope", c.focalDistanceEnvelope, "FocalDistance         %f\n",
        c.focalDistance);
  EnvOr(b, "LensFStopEnvelope", c.lensFStopEnvelope, "LensFStop             %f\n", c.lensFStop);
  Line(b, "FrameSize             %d %d\n", c.width, c.height);
  Line(b, "MaskPosition          %d %d %d %d\n", c.maskPosition[0], c.maskPosition[1],
       c.maskPosition[2], c.maskPosition[3]);
  Line(b, "SegmentMemory         %d\n", c.segmentMemory);
  Line(b, "Antialiasing          %d\n", c.antialiasing);
  Line(b, "AdaptiveSampling      %d\n", c.adaptiveSampling);
  Line(b, "ResolutionMultiplier  %f\n", c.resolutionMultiplier);
  Line(b, "PixelAspect           %f\n", c.pixelAspect);
  Line(b, "ApertureHeight        %f\n", c.apertureHeight);
  Line(b, "AdaptiveThreshold     %f\n", c.adaptiveThreshold);
  Close(d);
}

void Dumper::Item(int d, SceneItem* item) {
  static const char* const kTypes[] = {"OBJECT", "LIGHT", "CAMERA", "BONE"};
  const int b = d + 1;
  Open(d, std::string("Item <") +
              (item->type >= 1 && item->type <= 4 ? kTypes[item->type - 1] : "UNKNOWN") + ">\n");
  Line(b, "Index                %d\n", item->id);
  const char* name = db_->ops.ItemDisplayName(db_, item);
  Line(b, "Name                 \"%s\"\n", name ? name : "");
  Line(b, "Type                 %d\n", item->type);
  Line(b, "Refresh              %d\n", item->refresh);
  Line(b, "Color                %d\n", item->color);
  Line(b, "Channels             %d\n", item->numChannels);
  if (SceneItem* parent = db_->ops.GetParentItem(db_, item))
    Line(b, "Parent               %08x\t\t// Item Index %d\n", unsigned(item->parent), parent->id);
  else
    Line(b, "Parent               %08x\n", unsigned(item->parent));
  Line(b, "Target               %d\n", item->target);
  Line(b, "Goal                 %d\n", item->goal);
  Line(b, "PivotPosition        %f %f %f\n", item->pivotPosition[0], item->pivotPosition[1],
       item->pivotPosition[2]);
  Line(b, "PivotRotation        %f %f %f\n", item->pivotRotation[0], item->pivotRotation[1],
       item->pivotRotation[2]);
  Line(b, "FullTimeIK           %d\n", item->fullTimeIK);
  Line(b, "MatchGoalOrientation %d\n", item->matchGoalOrientation);
  Line(b, "KeepGoalWithinReach  %d\n", item->keepGoalWithinReach);
  Line(b, "IKAnchor             %d\n", item->ikAnchor);
  Line(b, "PathAlignLookAhead   %f\n", item->pathAlignLookAhead);
  Line(b, "GoalStrength         %f\n", item->goalStrength);
  Line(b, "HLimits              %f %f\n", item->hLimits[0], item->hLimits[1]);
  Line(b, "PLimits              %f %f\n", item->pLimits[0], item->pLimits[1]);
  Line(b, "BLimits              %f %f\n", item->bLimits[0], item->bLimits[1]);
  Line(b, "HJointStiffness      %f\n", item->hStiffness);
  Line(b, "PJointStiffness      %f\n", item->pStiffness);
  Line(b, "BJointStiffness      %f\n", item->bStiffness);
  Line(b, "HController          %d\n", item->hController);
  Line(b, "PController          %d\n", item->pController);
  Line(b, "BController          %d\n", item->bController);
  switch (item->type) {
    case ITEM_OBJECT:
      if (ObjectItemData* o = db_->ops.GetObjectData(db_, item)) ObjectSub(b, item, *o);
      break;
    case ITEM_LIGHT:
      if (LightData* l = db_->ops.GetLightData(db_, item)) LightSub(b, *l);
      break;
    case ITEM_CAMERA:
      if (CameraData* c = db_->ops.GetCameraData(db_, item)) CameraSub(b, *c);
      break;
    case ITEM_BONE:
      if (BoneData* bn = db_->ops.GetBoneData(db_, item)) BoneSub(b, item, *bn);
      break;
    default:
      break;
  }
  if (item->motion) MotionSub(b, *item->motion);
  for (Envelope* e = item->channels; e; e = e->next)
    if (e->channel >= 0 && e->channel <= 8) EnvelopeSub(b, "Channel", e);
  Plugins(b, item->motionPlugins);
  Close(d);
}

void Dumper::Adjustment(int d, const char* heading, ClipAdjustment* a) {
  if (!a) return;
  Line(0, "\n");
  Line(d + 1, "%s", heading);
  Line(d + 2, "Value         %f\n", double(a->value));
  if (a->envelopes) EnvelopeSub(d + 2, "Envelope", a->envelopes);
  Line(d + 1, "}\n");
}

void Dumper::Clip(int d, const char* slot, ClipRef* c) {
  static const char* const kTypes[] = {"Still", "Sequence", "Animation", "Reference"};
  const int b = d + 1;
  Open(d, std::string("Clip <") + slot + "> \n");
  Line(b, "Type          %s\n", c->clipType >= 0 && c->clipType < 4 ? kTypes[c->clipType] : "Unknown");
  if (c->still) Line(b, "Name          \"%s\"\n", c->still->imageName.c_str());
  if (const auto& s = c->sequence) {
    Line(b, "Digits        %d\n", s->digits);
    Line(b, "Flags         %d\n", s->flags);
    Line(b, "Start_frame   %d\n", s->startFrame);
    Line(b, "Loop_length   %d\n", s->loopLength);
    Line(b, "First_frame   %d\n", s->firstFrame);
    Line(b, "Last_frame    %d\n", s->lastFrame);
    Line(b, "Prefix        \"%s\"\n", s->prefix.c_str());
    Line(b, "Suffix        \"%s\"\n", s->suffix.c_str());
  }
  if (const auto& a = c->animation) {
    Line(b, "Name          \"%s\"\n", a->fileName.c_str());
    Line(b, "ServerName    \"%s\"\n", a->serverName.c_str());
    Line(b, "Offset        %d\n", a->index);
  }
  if (const auto& r = c->reference) {
    Line(b, "Index         %d\n", r->value);
    Line(b, "String        \"%s\"\n", r->texts[0].c_str());
    Line(b, "Type          \"%s\"\n", r->texts[1].c_str());
    Line(b, "Name          \"%s\"\n", r->texts[2].c_str());
    Line(b, "Filename      \"%s\"\n", r->texts[3].c_str());
  }
  if (const auto& t = c->times) {
    Line(0, "\n");
    Line(d + 1, "Times {\n");
    Line(d + 2, "In Time       %f\n", double(t->inTime));
    Line(d + 2, "Out Time      %f\n", double(t->outTime));
    Line(d + 2, "Frame Rate    %f\n", double(t->frameRate));
    Line(d + 2, "Behaviors     %d %d\n", t->behaviors[0], t->behaviors[1]);
    Line(d + 1, "}\n");
  }
  Line(0, "\n");
  Line(b, "Flags         %08x\n", unsigned(c->flags));
  Line(b, "Negative      %d\n", c->negative);
  Line(b, "AlphaMode     %d\n", c->alphaMode);
  Adjustment(d, "Brightness {\n", c->adjustments[ADJUST_BRIGHTNESS].get());
  Adjustment(d, "Saturation {\n", c->adjustments[ADJUST_SATURATION].get());
  Close(d);
}

void Dumper::Scene() {
  SceneDb* s = db_;
  Line(0, "# LightWave 3D Scene Dump\n");
  Line(0, "\n");
  Line(0, "Scene \n{\n");
  Line(1, "FileName               \"%s\"\n", s->path.c_str());
  Line(1, "Version                %d\n", s->version);
  Line(1, "FirstFrame             %d\n", s->firstFrame);
  Line(1, "LastFrame              %d\n", s->lastFrame);
  Line(1, "FrameStep              %d\n", s->frameStep);
  Line(1, "PreviewFirstFrame      %d\n", s->previewFirstFrame);
  Line(1, "PreviewLastFrame       %d\n", s->previewLastFrame);
  Line(1, "PreviewFrameStep       %d\n", s->previewFrameStep);
  Line(1, "FramesPerSecond        %f\n", s->framesPerSecond);
  Line(1, "NumItems               %d\n", s->numItems);
  Line(1, "CurrentFrame           %d\n", s->currentFrame);
  Line(1, "CurrentObject          %d\n", s->currentObject);
  Line(1, "CurrentLight           %d\n", s->currentLight);
  Line(1, "CurrentCamera          %d\n", s->currentCamera);

  for (SceneItem* o = s->ops.FindFirstItem(s, ITEM_OBJECT, nullptr); o; o = s->ops.NextItemOfType(s, o)) {
    Item(1, o);
    for (SceneItem* b = s->ops.FindFirstItem(s, ITEM_BONE, o); b; b = s->ops.NextItemOfType(s, b)) {
      if (s->ops.BoneOwner(s, b) != o) break;
      Item(1, b);
    }
  }
  for (int type : {ITEM_LIGHT, ITEM_CAMERA})
    for (SceneItem* i = s->ops.FindFirstItem(s, type, nullptr); i; i = s->ops.NextItemOfType(s, i))
      Item(1, i);

  if (FogBlock* g = s->ops.GetFog(s)) {
    static const char* const kFog[] = {"Off", "Linear", "Nonlinear 1", "Nonlinear 2"};
    Open(1, "Fog \n");
    Line(2, "FogType               %s\n", g->fogType >= 0 && g->fogType < 4 ? kFog[g->fogType] : "Unknown");
    EnvOr(2, "FogMinDistEnvelope", g->minDistEnvelope, "FogMinDist            %f\n", g->minDist);
    EnvOr(2, "FogMaxDistEnvelope", g->maxDistEnvelope, "FogMaxDist            %f\n", g->maxDist);
    EnvOr(2, "FogMinAmountEnvelope", g->minAmountEnvelope, "FogMinAmount          %f\n", g->minAmount);
    EnvOr(2, "FogMaxAmountEnvelope", g->maxAmountEnvelope, "FogMaxAmount          %f\n", g->maxAmount);
    Line(2, "FogColor              %f %f %f\n", double(g->color[0]), double(g->color[1]), double(g->color[2]));
    Line(2, "BackdropFog           %d\n", g->backdropFog);
    Plugins(2, g->volumetricPlugins);
    Close(1);
  }
  if (BackdropBlock* g = s->ops.GetBackdrop(s)) {
    auto rgb = [&](const char* format, const float* c) {
      Line(2, format, double(c[0]), double(c[1]), double(c[2]));
    };
    Open(1, "Backdrop \n");
    Line(2, "SolidBackdrop         %d\n", g->solidBackdrop);
    rgb("BackdropColor         %f %f %f\n", g->backdropColor);
    rgb("ZenithColor           %f %f %f\n", g->zenithColor);
    rgb("SkyColor              %f %f %f\n", g->skyColor);
    rgb("GroundColor           %f %f %f\n", g->groundColor);
    rgb("NadirColor            %f %f %f\n", g->nadirColor);
    Plugins(2, g->environmentPlugins);
    Close(1);
  }
  if (CompositeBlock* g = s->ops.GetComposite(s)) {
    Open(1, "Composite \n");
    EnvOr(2, "FGDissolveEnvelope", g->fgDissolveEnvelope, "FGDissolve            %f\n", g->fgDissolve);
    Line(2, "FGFaderAlphaMode      %d\n", g->fgFaderAlphaMode);
    Line(2, "ForegroundKey         %d\n", g->foregroundKey);
    Line(2, "LowClipColor          %f %f %f\n", double(g->lowClipColor[0]), double(g->lowClipColor[1]),
         double(g->lowClipColor[2]));
    Line(2, "HighClipColor         %f %f %f\n", double(g->highClipColor[0]), double(g->highClipColor[1]),
         double(g->highClipColor[2]));
    if (g->bgImage) Clip(2, "BGImage", g->bgImage);
    if (g->fgImage) Clip(2, "FGImage", g->fgImage);
    if (g->fgAlphaImage) Clip(2, "FGAlphaImage", g->fgAlphaImage);
    Close(1);
  }
  if (ProcessingBlock* g = s->ops.GetProcessing(s)) {
    Open(1, "Processing \n");
    Line(2, "LimitDynamicRange     %d\n", g->limitDynamicRange);
    Line(2, "DitherIntensity       %d\n", g->ditherIntensity);
    Line(2, "AnimatedDither        %d\n", g->animatedDither);
    EnvOr(2, "SaturationEnvelope", g->saturationEnvelope, "Saturation            %f\n", g->saturation);
    Line(2, "GlowEffect            %d\n", g->glowEffect);
    EnvOr(2, "GlowIntensityEnvelope", g->glowIntensityEnvelope, "GlowIntensity         %f\n",
          g->glowIntensity);
    EnvOr(2, "GlowRadiusEnvelope", g->glowRadiusEnvelope, "GlowRadius            %f\n", g->glowRadius);
    Plugins(2, g->pixelFilters);
    Plugins(2, g->imageFilters);
    Close(1);
  }
  if (IlluminateBlock* g = s->ops.GetIlluminate(s)) {
    Open(1, "Illuminate \n");
    if (!Rgb(2, "AmbientColorEnvelope", g->ambientColorEnvelope))
      Line(2, "AmbientColor          %f %f %f\n", double(g->ambientColor[0]), double(g->ambientColor[1]),
           double(g->ambientColor[2]));
    EnvOr(2, "AmbientIntensityEnvelope", g->ambientIntensityEnvelope, "AmbientIntensity      %f\n",
          g->ambientIntensity);
    EnvOr(2, "GlobalLightIntensityEnvelope", g->globalLightEnvelope, "GlobalLightIntensity  %f\n",
          g->globalLightIntensity);
    EnvOr(2, "GlobalFlareIntensityEnvelope", g->globalFlareEnvelope, "GlobalFlareIntensity  %f\n",
          g->globalFlareIntensity);
    Line(2, "RadiosityTolerance    %f\n", g->radiosityTolerance);
    Line(2, "RadiosityMinSpacing   %f\n", g->radiosityMinSpacing);
    EnvOr(2, "CausticIntensityEnvelope", g->causticIntensityEnvelope, "CausticIntensity      %f\n",
          g->causticIntensity);
    Line(2, "EnableRadiosity       %d\n", g->enableRadiosity);
    Line(2, "CacheRadiosity        %d\n", g->cacheRadiosity);
    Line(2, "RadiosityRays         %d\n", g->radiosityRays);
    Line(2, "EnableCaustics        %d\n", g->enableCaustics);
    Line(2, "CacheCaustics         %d\n", g->cacheCaustics);
    Line(2, "CausticAccuracy       %d\n", g->causticAccuracy);
    Line(2, "CausticSoftness       %d\n", g->causticSoftness);
    Close(1);
  }
  Plugins(1, s->masterPlugins);
  Line(0, "}\n");
  Line(0, "\n");
}

}  // namespace

int DumpSceneText(SceneDb* db, FILE* file) {
  if (!db) return ERR_PARAM;
  if (!file) return 0;
  CNumberLocale numbers;
  Dumper(db, file).Scene();
  fflush(file);
  return ferror(file) ? ERR_FILE_WRITE : 0;
}
