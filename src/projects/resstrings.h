// The user-visible texts of the projects layer (containers, project modules, project groups).
// Everyone who adds a message to this subsystem adds it here.
#pragma once

namespace nxs::res {

// Containers
inline constexpr const char* SProjectSortOrderSection = "ProjectSortOrder";
inline constexpr const char* SProjectManagerSection = "ProjectManager";
inline constexpr const char* SRemoveFromProject = "Remove %s from project?";
inline constexpr const char* SLocalCommandPrompt = "Specify Local Command String";
inline constexpr const char* SLocalCommandCaption = "&Local Command";
inline constexpr const char* SMenuParentMissing = "Menu item with caption %s could not find its parent named %s.";
inline constexpr const char* SAddDroppedFiles = "Would you like to add the selected file(s) to the project?";
inline constexpr const char* SPreCompileDisabled =
    "TContainerManager.PreCompile disabled. Implement IProjectBuilder.PreCompile instead";
inline constexpr const char* SCompileDisabled =
    "TContainerManager.Compile disabled. Use ProjectGroupBuilder.BuildProjects instead";
inline constexpr const char* SPostCompileDisabled =
    "TContainerManager.PostCompile disabled. Implement IProjectBuilder.PostCompile instead";
inline constexpr const char* SShouldCompileDisabled =
    "TContainerManager.ShouldCompile disabled. MSBuild does all dependency checking now.";
inline constexpr const char* SNoToolName = "<None>";
inline constexpr const char* SNoToolDescription = "Do not associate a tool with this file";

// Project module
inline constexpr const char* SFileFilterUTF8 = "Tarvos.FileFilter.UTF8ToUTF8";
inline constexpr const char* SConvertedBackup = "\"%s\" converted, created backup file \"%s\"";
inline constexpr const char* SConvertedRenamed = "\"%s\" converted, renamed to \"%s\", preserved \"%s\"";
inline constexpr const char* SConvertedInPlace = "\"%s\" converted in place (no backup)";
inline constexpr const char* SCannotCloseRunning = "Cannot close %s while it is running";
inline constexpr const char* SSaveProjectChanges = "Save changes to project %s?";
inline constexpr const char* SNeedsOpenModule = "This operation requires that the selected module be open in the editor";
inline constexpr const char* SNeedsCompiledProject =
    "The project must be compiled in order to complete this operation. Continue?";
inline constexpr const char* SLegacyProjectFilter = "Tarvos Nexus Studio Project (*.nxsproj)|*.nxsproj";
inline constexpr const char* SNotInProject = "%s is not a file of project %s";
inline constexpr const char* SAlreadyInProject = "%s is already a file of project %s";
inline constexpr const char* SNoSuchSource = "%s does not exist";

// Project group
inline constexpr const char* SGroupInconsistent =
    "Project group inconsistent.  Cannot locate project file(s) for target(s) \"%s\"";
// The group keeps the reference of a project it cannot open: only removing it takes it out.
inline constexpr const char* SUnableToLocateProject =
    "Unable to locate project %s.  The project reference is kept in the project group.";
inline constexpr const char* SUnableToCreateProject =
    "Unable to create project %s. The project reference is kept in the project group.";
inline constexpr const char* SUnknownProjectType = "Unknown Project Type";
inline constexpr const char* SMustSupplyGroupName = "Must supply a name if opening an existing project group";
inline constexpr const char* SGroupHasNoSource = "Project Group has no source at this time";
inline constexpr const char* SSaveGroupChanges = "Save changes to project group %s?";
inline constexpr const char* SLoadingProject = "Loading project %s";
inline constexpr const char* SOpenMSBuildGroup = "Open MSBuild Project Group: ";
inline constexpr const char* SOpenLegacyGroup = "Open Project Group: ";
inline constexpr const char* SProjectOperation = "Project Operation";
inline constexpr const char* SGroupFilter = "%s %s Project Group (*.groupproj)|*.groupproj";
inline constexpr const char* SLegacyGroupFilter = "Tarvos Nexus Studio Project Group (*.nxsgroup)|*.nxsgroup";
inline constexpr const char* SDependencyCycle = "%s cannot depend on %s: that would make the cycle %s";
inline constexpr const char* SNotInGroup = "%s is not a project of group %s";
inline constexpr const char* SProjectAlreadyInGroup = "%s is already a project of group %s";
inline constexpr const char* SInvalidGroupFile = "%s is not a project group file: %s";
inline constexpr const char* SCannotPromote = "%s is already the first project of the group";
inline constexpr const char* SCannotDemote = "%s is already the last project of the group";
inline constexpr const char* SGroupFileExists = "%s already exists";

}  // namespace nxs::res
