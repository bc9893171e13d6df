#pragma once
// The host's functions as the plug-in sees them: the signatures of the entries the
// simulator calls, and the list of all 150 names in binding order. The host side
// declares its exported functions against the same signatures, so the two cannot
// drift apart.

#include "abi/host_records.h"

namespace cohortix {

// Size of the path buffer that the plug-in hands to ktGetOpenFileName; the host
// writes at most this many bytes, the terminating NUL included.
inline constexpr int kFileNameBufferSize = 1024;

// Function types of the 27 called host functions. Results other than the version
// numbers, the current VMR and the file dialog's answer are never examined.
namespace host_signature {
using ktGetVersionOfTessalyKT = bool(int* major, int* minor, int* patch);
using ktShowLogTab = bool();
using ktLogText = bool(const char* text);
using ktMessageBox = bool(const char* text);
using ktGetOpenFileName = int(const char* prompt, const char* initial, const char* filter,
                              char* path);
using ktUpdateActiveWindow = bool();
using ktShowBusyCursor = bool();
using ktStopBusyCursor = bool();
using ktGetCurrentVMR = void*(int* dim1, int* dim2, int* dim3);
using ktCreateVTCForCurrentVMR = bool(int nrOfVolumes, VTCHeader* header);
using ktGetHeaderOfVTCOfCurrentVMR = bool(VTCHeader* header);
using ktGetVTCFloatDataOfCurrentVMR = float*();
using ktSaveVTCOfCurrentVMR = bool(const char* fileName);
using ktClearProtocol = bool();
using ktLoadProtocol = bool(const char* fileName);
using ktSaveProtocol = bool(const char* fileName);
using ktGetProtocol = bool(ProtocolRecord* record);
using ktSetProtocol = bool(ProtocolRecord* record);
using ktGetProtocolCondition = bool(int conditionIndex, ConditionRecord* record);
using ktAddProtocolCondition = bool(ConditionRecord* record);
using ktAddProtocolConditionInterval = bool(int conditionIndex, int firstVolume, int lastVolume);
using ktClearDesignMatrix = bool();
using ktAddPredictor = bool(ConditionRecord* record);
using ktSetPredictorValuesFromCondition = bool(ConditionRecord* record, int conditionIndex,
                                               float value);
using ktApplyTwoGammaHRFToPredictor = bool(int predictorIndex);
using ktGetPredictor = float*(int predictorIndex);
using ktSaveSingleStudyGLMDesignMatrix = bool(const char* fileName);
}  // namespace host_signature

// All host functions in binding order. CALLED(name) marks the 27 the simulator calls
// (typed by host_signature::name), BOUND(name) those that are bound but never called.
#define COHORTIX_HOST_FUNCTIONS(CALLED, BOUND)                                         \
  /* General: paths, log, dialogs, cursor and window */                               \
  CALLED(ktGetVersionOfTessalyKT) BOUND(ktGetTessalyKTPath) BOUND(ktGetPluginsPath)  \
  BOUND(ktShowLogPane) CALLED(ktShowLogTab) CALLED(ktLogText) CALLED(ktMessageBox)    \
  BOUND(ktYesNoMessageBox) BOUND(ktGetIntegerInput) BOUND(ktGetFloatInput)            \
  BOUND(ktGetTextInput) CALLED(ktGetOpenFileName) BOUND(ktGetSaveFileName)            \
  CALLED(ktUpdateActiveWindow) CALLED(ktShowBusyCursor) CALLED(ktStopBusyCursor)      \
  /* Documents and volume tools */                                                    \
  BOUND(ktGetNumberOfDocsInWorkspace) BOUND(ktGetDocumentType)                        \
  BOUND(ktGetDocumentTypeName) BOUND(ktGetIDOfCurrentDocument)                        \
  BOUND(ktSetAsCurrentDocument) BOUND(ktCalculateIAMatrix)                            \
  BOUND(ktGetTRFParametersFromVolumeToolsDlg)                                         \
  /* FMR documents */                                                                 \
  BOUND(ktGetHeaderOfCurrentFMR) BOUND(ktSetHeaderOfCurrentFMR)                       \
  BOUND(ktGetSTCFloatDataOfCurrentFMR) BOUND(ktGetSTCIntDataOfCurrentFMR)             \
  BOUND(ktGetSTCDataOfCurrentFMR) BOUND(ktSaveFMR) BOUND(ktSaveFMRAndSTC)             \
  BOUND(ktGetScannerPositionHeaderOfCurrentFMR)                                       \
  BOUND(ktSetScannerPositionHeaderOfCurrentFMR)                                       \
  /* DMR documents */                                                                 \
  BOUND(ktGetHeaderOfCurrentDMR) BOUND(ktSetHeaderOfCurrentDMR)                       \
  BOUND(ktGetDWIFloatDataOfCurrentDMR) BOUND(ktGetDWIIntDataOfCurrentDMR)             \
  BOUND(ktGetDWIDataOfCurrentDMR) BOUND(ktConvertDWIFormatOfCurrentDMR)               \
  BOUND(ktSaveDMR) BOUND(ktSaveDMRAndDWI)                                             \
  /* VMR documents */                                                                 \
  CALLED(ktGetCurrentVMR) BOUND(ktGetMainHeaderOfCurrentVMR)                          \
  BOUND(ktSetMainHeaderOfCurrentVMR) BOUND(ktGetScannerPositionHeaderOfCurrentVMR)    \
  BOUND(ktSetScannerPositionHeaderOfCurrentVMR)                                       \
  BOUND(ktGetPastTransformationsHeaderOfCurrentVMR)                                   \
  BOUND(ktSetPastTransformationsHeaderOfCurrentVMR) BOUND(ktReframeCurrentVMR)        \
  BOUND(ktGetCrossPositionOfCurrentVMR)                                               \
  /* Volume maps, NRVMP and ARVMP */                                                  \
  BOUND(ktGetNRVMPsOfCurrentVMR) BOUND(ktGetNRVMPOfCurrentVMR)                        \
  BOUND(ktSetNRVMPParametersOfCurrentVMR) BOUND(ktLoadNRVMPsToCurrentVMR)             \
  BOUND(ktSaveNRVMPsOfCurrentVMR) BOUND(ktCreateNRVMPsForCurrentVMR)                  \
  BOUND(ktDeleteNRVMPsOfCurrentVMR) BOUND(ktSetNRVMPsParamsDisplayRange)              \
  BOUND(ktGetARVMPsOfCurrentVMR) BOUND(ktGetARVMPOfCurrentVMR)                        \
  BOUND(ktSetARVMPParametersOfCurrentVMR) BOUND(ktLoadARVMPsToCurrentVMR)             \
  BOUND(ktSaveARVMPsOfCurrentVMR) BOUND(ktCreateARVMPsForCurrentVMR)                  \
  BOUND(ktDeleteARVMPsOfCurrentVMR)                                                   \
  /* VTC documents and time courses */                                                \
  BOUND(ktLinkVTCToCurrentVMR) CALLED(ktCreateVTCForCurrentVMR)                       \
  CALLED(ktGetHeaderOfVTCOfCurrentVMR) BOUND(ktSetHeaderOfVTCOfCurrentVMR)            \
  BOUND(ktGetVTCOfCurrentVMR) CALLED(ktGetVTCFloatDataOfCurrentVMR)                   \
  BOUND(ktGetVTCIntDataOfCurrentVMR) BOUND(ktSetVTCParametersOfCurrentVMR)            \
  CALLED(ktSaveVTCOfCurrentVMR) BOUND(ktClearMultiVTCAnalysis)                        \
  BOUND(ktAddVTCRefForMultiVTCAnalysis) BOUND(ktGetVoxelTimeCourseOfVTC)              \
  BOUND(ktGetVoxelTimeCourseOfVTCs) BOUND(ktGetVoxelCoordsTimeCourseOfVTC)            \
  BOUND(ktGetVoxelCoordsTimeCourseOfVTCs)                                             \
  /* GLM, mask and scene */                                                           \
  BOUND(ktGetGLMOfCurrentVMR) BOUND(ktLoadMaskToCurrentVMR)                           \
  BOUND(ktGetMaskOfCurrentVMR) BOUND(ktGetScene)                                      \
  /* Surfaces, SRF, MTC, SMP and SSM */                                               \
  BOUND(ktGetCurrentSRF) BOUND(ktReleaseSRFAccess) BOUND(ktSaveCurrentSRF)            \
  BOUND(ktSetCurrentSRF) BOUND(ktLinkMTCToCurrentSRF) BOUND(ktGetMTCOfCurrentSRF)     \
  BOUND(ktSetMTCParametersOfCurrentSRF) BOUND(ktCreateMTCForCurrentSRF)               \
  BOUND(ktSaveMTCOfCurrentSRF) BOUND(ktClearMultiMTCRefsOfCurrentSRF)                 \
  BOUND(ktAddMultiMTCRefToCurrentSRF) BOUND(ktGetVertexTimeCourseOfMTC)               \
  BOUND(ktGetVertexTimeCourseOfAllMTCs) BOUND(ktGetSMPsOfCurrentSRF)                  \
  BOUND(ktGetSMPOfCurrentSRF) BOUND(ktSetSMPParametersOfCurrentSRF)                   \
  BOUND(ktLoadSMPsToCurrentSRF) BOUND(ktSaveSMPsOfCurrentSRF)                         \
  BOUND(ktCreateSMPForCurrentSRF) BOUND(ktDeleteSMPsOfCurrentSRF)                     \
  BOUND(ktOverlaySMPsOnSRF) BOUND(ktGetSSMOfCurrentSRF) BOUND(ktLoadSSMToCurrentSRF)  \
  BOUND(ktSaveSSMOfCurrentSRF) BOUND(ktCreateSSMForCurrentSRF)                        \
  BOUND(ktDeleteSSMOfCurrentSRF)                                                      \
  /* Stimulation protocol */                                                          \
  CALLED(ktClearProtocol) CALLED(ktLoadProtocol) CALLED(ktSaveProtocol)               \
  CALLED(ktGetProtocol) CALLED(ktSetProtocol) CALLED(ktGetProtocolCondition)          \
  CALLED(ktAddProtocolCondition) CALLED(ktAddProtocolConditionInterval)               \
  /* Design matrix */                                                                 \
  CALLED(ktClearDesignMatrix) CALLED(ktAddPredictor)                                  \
  CALLED(ktSetPredictorValuesFromCondition) BOUND(ktSetPredictorValuesFromConditionName) \
  CALLED(ktApplyTwoGammaHRFToPredictor) BOUND(ktApplyTwoGammaHRFToPredictorWithName)  \
  BOUND(ktApplyBoyntonHRFToPredictor) BOUND(ktApplyBoyntonHRFToPredictorWithName)     \
  CALLED(ktGetPredictor) BOUND(ktGetPredictorByName)                                  \
  BOUND(ktLoadSingleStudyGLMDesignMatrix) CALLED(ktSaveSingleStudyGLMDesignMatrix)    \
  /* VOI and POI */                                                                   \
  BOUND(ktLoadVOIs) BOUND(ktSaveVOIs) BOUND(ktGetVOIs) BOUND(ktGetVOI)                \
  BOUND(ktLoadPOIs) BOUND(ktSavePOIs) BOUND(ktGetPOIs) BOUND(ktGetPOI)                \
  /* Named parameters */                                                              \
  BOUND(ktGetStringParameter) BOUND(ktGetIntParameter) BOUND(ktGetFloatParameter)     \
  BOUND(ktSetStringParameter) BOUND(ktSetIntParameter) BOUND(ktSetFloatParameter)     \
  /* Dialog parameters */                                                             \
  BOUND(ktGetDlgStringParameter) BOUND(ktGetDlgIntegerParameter)                      \
  BOUND(ktGetDlgFloatParameter) BOUND(ktSetDlgStringOutputParameter)                  \
  BOUND(ktSetDlgIntegerOutputParameter) BOUND(ktSetDlgFloatOutputParameter)           \
  /* Independent component analysis */                                                \
  BOUND(ktLaunchICADialog)

}  // namespace cohortix
