// The `flash` package object of SWF 8 and later: flash.geom holds Point,
// Rectangle and the other geometry classes, which are not global names.
#include "swf/avm1/Function.h"
#include "swf/avm1/Machine.h"
#include "swf/avm1/globals/Globals.h"
#include "swf/avm1/globals/Services.h"

namespace quenloft::swf::avm1 {

void InstallFlashPackage(Machine& M)
{
  Object* flash = M.NewObject();
  Object* geom = M.NewObject();
  Object* display = M.NewObject();
  flash->Define(M, M.Intern("display"), Value(display), 0);
  Object* text = M.NewObject();
  flash->Define(M, M.Intern("text"), Value(text), 0);
  Object* filters = M.NewObject();
  flash->Define(M, M.Intern("filters"), Value(filters), 0);
  InstallFilters(M, *filters);
  flash->Define(M, M.Intern("geom"), Value(geom), 0);
  Object* net = M.NewObject();
  flash->Define(M, M.Intern("net"), Value(net), 0);
  InstallFileReference(M, *net);
  Object* external = M.NewObject();
  flash->Define(M, M.Intern("external"), Value(external), 0);
  static const ClassSpec* const GeomClasses[] = {&RectangleClass, &PointClass, &MatrixClass, &ColorTransformClass,
                                                 &TransformClass};
  for (const ClassSpec* spec : GeomClasses) {
    FunctionObject* ctor = M.Install(*spec);
    // Install puts classes on the global object; these live in the package.
    M.Global()->Delete(M, M.Intern(spec->Name));
    geom->Define(M, M.Intern(spec->Name), Value(static_cast<Object*>(ctor)), 0);
  }
  const auto move = [&](const ClassSpec& Spec, Object* Package) {
    FunctionObject* ctor = M.Install(Spec);
    // Install puts classes on the global object; these live in a package.
    M.Global()->Delete(M, M.Intern(Spec.Name));
    Package->Define(M, M.Intern(Spec.Name), Value(static_cast<Object*>(ctor)), 0);
  };
  move(ExternalInterfaceClass, external);
  move(BitmapDataClass, display);
  move(TextRendererClass, text);
  M.Global()->Define(M, M.Intern("flash"), Value(flash), DontEnum | OnlySwf8);
}

} // namespace quenloft::swf::avm1
