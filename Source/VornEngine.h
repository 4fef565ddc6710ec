// The engine in one include: every public class of Vorn, for game code.
#pragma once

// Runtime
#include "Vorn.h"
#include "VornConsole.h"
#include "VornDebug.h"
#include "VornFile.h"
#include "VornHandleTable.h"
#include "VornList.h"
#include "VornLog.h"
#include "VornMemory.h"
#include "VornSystem.h"

// Math
#include "VornAnimation.h"
#include "VornCollision.h"
#include "VornMath.h"
#include "VornMatrix.h"
#include "VornPosture.h"
#include "VornRand.h"
#include "VornVector2.h"
#include "VornVector3.h"

// Format
#include "VornLZSS.h"
#include "VornPackFormat.h"
#include "VornPadFile.h"
#include "VornQxtFormat.h"

// Device
#include "Vorn3D.h"
#include "Vorn3DAdapter.h"
#include "VornQsgLoader.h"
#include "VornSurface.h"
#include "VornTexture.h"

// Draw2D
#include "VornBatch2D.h"
#include "VornFont.h"
#include "VornFontSprite.h"
#include "VornLine.h"
#include "VornPoint.h"
#include "VornPrimitive.h"
#include "VornSimple.h"
#include "VornSprite.h"
#include "VornSpriteEx.h"
#include "VornSheet.h"
#include "VornEffect.h"
#include "VornTransform2D.h"

// Draw3D
#include "VornBatch3D.h"
#include "VornCamera.h"
#include "VornField.h"
#include "VornFontSprite3D.h"
#include "VornLight.h"
#include "VornLine3D.h"
#include "VornMeshSplitter.h"
#include "VornModel.h"
#include "VornModelEx.h"
#include "VornPoint3D.h"
#include "VornPrimitive3D.h"
#include "VornShaderFx.h"
#include "VornSprite3D.h"

// Input
#include "VornFEP.h"
#include "VornInput.h"

// Audio
#include "VornCDDA.h"
#include "VornMedia.h"
#include "VornMusic.h"
#include "VornSound.h"

// Net
#include "VornSocket.h"
#include "VornSocketAsyncIO.h"
#include "VornSocketCommon.h"
#include "VornSocketServerAsync.h"
#include "VornSocketServerMT.h"
#include "VornMicroThread.h"
#include "VornNetwork.h"
#include "VornThread.h"
