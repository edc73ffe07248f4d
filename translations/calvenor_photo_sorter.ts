<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1">
<context>
    <name>AppCommands</name>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Category…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Folder…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Recent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Undo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Redo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sort Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browse Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browse Layout</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sort Photos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep Companions Together</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Larger Thumbnails</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Smaller Thumbnails</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Photo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quick Look</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reveal in File Manager</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No Recent Folders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear Menu</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>BrowseListModel</name>
    <message>
        <source>Photo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Date Modified</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Dimensions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Date Taken</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Duration</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>BrowseView</name>
    <message>
        <source>Scroll categories left</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scroll categories right</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, 1 photo</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%1, %Ln photos</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No photos in this category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Duplicates</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No duplicates found</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CategoryNameSheet</name>
    <message>
        <source>This is the folder name on disk.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Category name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CollectionStore</name>
    <message>
        <source>Open a Photo Collection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a folder. Its first-level folders become categories.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Collection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Open Recent Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Reopen Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Open Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folder Opened, but Access Couldn’t Be Saved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Refresh Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rename Category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rename</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Create Category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Created %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Redo New Category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Undo New Category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Rename Category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Renamed to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Delete Category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Deleted %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Redo Delete Category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Undo Delete Category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No category %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>→ %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File into New Category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Move Photos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Move to Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Moved to Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>Moved %Ln to Trash</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>Couldn’t Copy Photos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copied to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Complete %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move Photo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move Photos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy Photo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy Photos</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folder No Longer Available</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” can’t be reached any more: the disk or share it is on was removed or stopped answering. Nothing was lost: reconnect it and open the folder again, and any change it cut off will be put back.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CollectionWorkspace</name>
    <message>
        <source>Switch between Sort and Browse</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browse layout</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New Category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>photo</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>photos</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>category</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>categories</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>1 folder can’t be read: </source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%Ln folders can’t be read: </source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>A–Z FILE BY NAME</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Thumbnail size</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%Ln selected</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>No selection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0 UNSORTED</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPACE PREVIEW</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DEL TRASH</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1–9 FILE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read-only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Removable disk</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Network share</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FUSE mount</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FileIntoField</name>
    <message>
        <source>File into…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File into</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Return: create “%1” and file into it</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FileSystem</name>
    <message>
        <source>Couldn’t create the folder “%1”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t write “%1”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1”</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is not a folder.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A category named %1 already exists.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 contains another folder. Move that folder elsewhere before deleting the category.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Category names cannot be empty, hidden, or contain “/” or “:”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The folder %1 doesn’t exist.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 couldn’t be moved to the trash.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The operation was cancelled.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The folder %1 can’t be found.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” can’t be remembered because it isn’t a folder on this computer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 holds an item whose name can’t be read. Rename or remove it in a file manager first</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is no longer in the trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is no longer where it was moved</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is a different file now, so it was left alone</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unsorted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The last session ended in the middle of a change</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 photo file was put back where it was</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%Ln photo files were put back where they were</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>left as found: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t write the undo journal</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This folder is open in another Calvenor Photo Sorter window. Close it there first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t read the folder %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t read %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: another program changed, replaced or removed it while it was being copied, so nothing was deleted and the copy was kept.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: only regular files can be copied.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t move %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t copy %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t create the folder %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t delete %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t remove the folder %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t move %1 to the trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>It is no longer there</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You don’t have permission</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The disk is full</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The disk is read-only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The disk couldn’t be read or written</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The connection to the disk or network folder was lost</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The name has characters this disk can’t store</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The name is too long for this disk</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Another program is using it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The system is out of resources; close some programs and try again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Something with that name is already there</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A folder on the way is not a folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>It is a folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A link on the way leads in a circle</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This disk doesn’t support the operation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>It can’t be moved between these disks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file is too large for this disk</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The system reported error %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A name can’t be empty, “.” or “..”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A name can’t contain “/”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A name can’t contain control characters.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Names on this volume can’t contain control characters.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Names on this volume can’t contain “%1”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Names on this volume can’t end with a dot or a space.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The name is too long for this volume: %1 characters, at most %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The name is too long for this volume: %1 bytes, at most %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The disk holding %1 has no trash it can be moved to: %2.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FocusInfoLine</name>
    <message>
        <source>Finding similar shots: %1 of %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FolderAccess</name>
    <message>
        <source>%1 is read-only: nothing in it can be added, moved, renamed or removed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>If it’s a memory card, check its lock switch.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 can’t be moved to %2. %3 Nothing was moved.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 can’t be copied to %2. %3 Nothing was copied.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Undo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Redo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 loses the photos of a folder it renames, so categories can’t be renamed there. Create a new category and move the photos into it instead.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>GalleryView</name>
    <message>
        <source>%1, 1 photo</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%1, %Ln photos</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>1 file with an unreadable name is not shown</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%Ln files with unreadable names are not shown</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>Double-click to rename</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drop photos here</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>or press 0</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>or press its number</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LoadingView</name>
    <message>
        <source>Choose Another Folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 item found</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%Ln items found</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Calvenor Photo Sorter</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PhotoCanvas</name>
    <message>
        <source>Selected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not selected</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PhotoCellPainter</name>
    <message>
        <source>%1 similar</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PhotoContextMenu</name>
    <message>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quick Look</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reveal in File Manager</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rename Category…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Category…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PhotoInfoText</name>
    <message>
        <source>%1 mm</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>f/%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1/%1 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ISO %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 EV</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Taken</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Camera</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Lens</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exposure</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Aperture</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sensitivity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Focal Length</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exposure Bias</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Dimensions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Companions</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Duration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 fps</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Video</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 · sharpest of %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 · in a burst of %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sharpness</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PreviewWindow</name>
    <message>
        <source>Quick Look</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Can’t show this photo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No photo to show</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Fit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1&#xa0;%</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Can’t play this video</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sound off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sound on</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>QCommandLineParser</name>
    <message>
        <source>Displays help on commandline options.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Displays help including Qt specific options.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RecoveryBanner</name>
    <message>
        <source>These were left as found: another file holds their place, or they are not the files that were moved.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Dismiss</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The last session ended in the middle of a change.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 photo file was put back where it was.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%Ln photo files were put back where they were.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>No photo had moved; what it left unfinished was cleared away.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RootView</name>
    <message>
        <source>The folder holds a file whose name can’t be read. Rename or remove it in a file manager before deleting the category.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>The folder holds %Ln files whose names can’t be read. Rename or remove them in a file manager before deleting the category.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>The empty folder will be removed. You can undo this action.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 photo will move to Unsorted before the folder is removed. You can undo this action.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%Ln photos will move to Unsorted before the folder is removed. You can undo this action.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>Delete “%1”?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Category</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This disk has no trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” has no trash</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The photo (%1) will be copied to the trash in your home folder, which takes a while and uses that space on your home disk until the trash is emptied.</source>
        <translation type="unfinished"></translation>
    </message>
    <message numerus="yes">
        <source>%Ln photos (%1) will be copied to the trash in your home folder, which takes a while and uses that space on your home disk until the trash is emptied.</source>
        <translation type="unfinished">
            <numerusform></numerusform>
        </translation>
    </message>
    <message>
        <source>Move to Home Trash</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TextEnums</name>
    <message>
        <source>Filename</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Modification Date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sort</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Browse</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tiles</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>List</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Masonry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Date Taken</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WelcomeView</name>
    <message>
        <source>Every frame,
in its place.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a folder to turn its first-level subfolders into a fast, keyboard-driven sorting board. Nothing is imported. The folders remain the truth.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open a Collection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File into categories</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Return to Unsorted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPACE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preview at full size</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl Z</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Undo every move</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Sort a folder of photos into category folders.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Generate a sample collection and open it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open a window of its own even while the app is running.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The folder to open.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>[FOLDER]</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>folder</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
